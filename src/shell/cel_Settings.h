// The settings file cellwr.ini: an INI text held in memory that keeps every section, key and
// line it read, in their order, and writes them back with CR LF line ends.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace cel {

// Reads an integer value: decimal with an optional sign, or hexadecimal after "0x" or "$"
// (taken as 32 bits, so 0xFFFFFFFF is -1). False when the text is not such a number.
bool ParseIniInteger(const QString& text, int32_t& value);

class TIniFile {
public:
    // Replaces the contents with the lines of an INI text.
    void Parse(const QByteArray& text);
    // The text to store: each section's header, its lines and an empty line.
    QByteArray Text() const;

    bool HasKey(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // The value's bytes as they stand in the file (file names that are not valid text among them).
    QByteArray ReadBytes(const QString& section, const QString& key) const;
    int32_t ReadInteger(const QString& section, const QString& key, int32_t defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    // Replaces the value of an existing key (keeping its place and spelling) or appends the key
    // to its section; a new section goes at the end.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteBytes(const QString& section, const QString& key, const QByteArray& value);
    void WriteInteger(const QString& section, const QString& key, int32_t value);
    void WriteBool(const QString& section, const QString& key, bool value);

private:
    struct TLine {
        bool IsKey = false;
        QByteArray Key;    // key lines: the key as read
        QByteArray Value;  // key lines: the value; other lines: the line as read
    };
    struct TSection {
        QByteArray Name;
        std::vector<TLine> Lines;
    };
    const TLine* Find(const QString& section, const QString& key) const;
    const TSection* FindSection(const QString& section) const;
    TSection* FindSection(const QString& section);
    TSection& AddSection(const QByteArray& name);
    std::vector<TSection> Sections;
    // Each section's index by its name in lower case: a damaged file of many thousand sections
    // is read in time proportional to its length, not to the square of it.
    QHash<QByteArray, size_t> SectionIndex;
};

// The settings file as the program keeps it: where it lives and its contents.
class TSettings {
public:
    // Loads path; a missing file gives empty contents. False when the file exists but cannot be
    // read.
    bool Load(const QString& path);
    // Writes the contents through a temporary file that replaces the old one only once it is
    // complete, creating the directory when needed. False on any failure; the old file is then
    // left as it was.
    bool Save() const;

    QString Path;
    bool Existed = false;  // the file was there when it was loaded
    TIniFile Ini;
};

// True when the executable's directory is the bin folder of an installation: a folder named
// "bin" beside a "share/doc/cellwright" folder, as every installation (the package, `cmake
// --install` into any prefix) lays it out. A build tree or a copy elsewhere is not installed.
bool IsInstalledProgramDir(const QString& exeDir);
// Where cellwr.ini lives. An installed program never writes into its installation, whoever runs
// it (root can write /usr/bin): its settings are in the user's configuration directory. A build
// tree or a portable copy keeps them beside the executable when a file is there or that
// directory can be written; otherwise in the user's configuration directory too.
QString ChooseSettingsPath(const QString& exeDir, const QString& configDir, bool exeDirWritable);
// The path the program uses: the choice above for the real directories, unless a test set one.
QString SettingsPath();
// Tests: use this path from now on (empty: back to the real choice).
void SetSettingsPath(const QString& path);

}  // namespace cel
