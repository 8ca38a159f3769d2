#include "cel_Settings.h"

#include "cel_Files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace cel {

namespace {

// Blanks are every byte up to the space, as in the file's usual editors.
QByteArray Trimmed(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.mid(begin, end - begin);
}

QString TestPath;

}  // namespace

bool ParseIniInteger(const QString& text, int32_t& value) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    int base = 10;
    if (text.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (i < text.size() && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    }
    if (i >= text.size()) return false;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i].toLatin1();
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (base == 16) {
        // Hexadecimal values are 32-bit patterns.
        const auto bits = static_cast<uint32_t>(negative ? 0u - magnitude : magnitude);
        value = static_cast<int32_t>(bits);
        return true;
    }
    const int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TIniFile

void TIniFile::Parse(const QByteArray& text) {
    Sections.clear();
    SectionIndex.clear();
    TSection* current = nullptr;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = Trimmed(raw);
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            const QByteArray name = Trimmed(line.mid(1, line.size() - 2));
            const auto known = SectionIndex.constFind(name.toLower());
            current = known != SectionIndex.cend() ? &Sections[*known] : &AddSection(name);
            continue;
        }
        if (!current) continue;  // lines before the first section
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0) current->Lines.push_back({true, Trimmed(line.left(eq)), Trimmed(line.mid(eq + 1))});
        else current->Lines.push_back({false, {}, line});
    }
}

QByteArray TIniFile::Text() const {
    QByteArray text;
    for (const TSection& section : Sections) {
        text += '[' + section.Name + "]\r\n";
        for (const TLine& line : section.Lines)
            text += (line.IsKey ? line.Key + '=' + line.Value : line.Value) + "\r\n";
        text += "\r\n";
    }
    return text;
}

const TIniFile::TSection* TIniFile::FindSection(const QString& section) const {
    const auto known = SectionIndex.constFind(section.toLocal8Bit().toLower());
    return known != SectionIndex.cend() ? &Sections[*known] : nullptr;
}

TIniFile::TSection* TIniFile::FindSection(const QString& section) {
    return const_cast<TSection*>(std::as_const(*this).FindSection(section));
}

TIniFile::TSection& TIniFile::AddSection(const QByteArray& name) {
    SectionIndex.insert(name.toLower(), Sections.size());
    Sections.push_back({name, {}});
    return Sections.back();
}

const TIniFile::TLine* TIniFile::Find(const QString& section, const QString& key) const {
    const TSection* s = FindSection(section);
    if (!s) return nullptr;
    const QByteArray name = key.toLocal8Bit();
    for (const TLine& line : s->Lines)
        if (line.IsKey && line.Key.compare(name, Qt::CaseInsensitive) == 0) return &line;
    return nullptr;
}

bool TIniFile::HasKey(const QString& section, const QString& key) const { return Find(section, key) != nullptr; }

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
    const TLine* line = Find(section, key);
    return line ? QString::fromLocal8Bit(line->Value) : defaultValue;
}

QByteArray TIniFile::ReadBytes(const QString& section, const QString& key) const {
    const TLine* line = Find(section, key);
    return line ? line->Value : QByteArray();
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& key, int32_t defaultValue) const {
    const TLine* line = Find(section, key);
    int32_t value;
    if (!line || !ParseIniInteger(QString::fromLocal8Bit(line->Value), value)) return defaultValue;
    return value;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    WriteBytes(section, key, value.toLocal8Bit());
}

void TIniFile::WriteBytes(const QString& section, const QString& key, const QByteArray& value) {
    TSection* s = FindSection(section);
    if (!s) s = &AddSection(section.toLocal8Bit());
    const QByteArray name = key.toLocal8Bit();
    for (TLine& line : s->Lines) {
        if (line.IsKey && line.Key.compare(name, Qt::CaseInsensitive) == 0) {
            line.Value = value;
            return;
        }
    }
    s->Lines.push_back({true, key.toLocal8Bit(), value});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int32_t value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

// ---------------------------------------------------------------------------------------------
// TSettings

bool TSettings::Load(const QString& path) {
    Path = path;
    Existed = QFileInfo::exists(path);
    if (!Existed) {
        Ini.Parse({});
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) return false;
    Ini.Parse(text);
    return true;
}

bool TSettings::Save() const {
    const QFileInfo info(Path);
    if (!QDir().mkpath(info.absolutePath())) return false;
    return ReplaceFileContents(Path, Ini.Text());
}

bool IsInstalledProgramDir(const QString& exeDir) {
    const QDir bin(exeDir);
    return bin.dirName() == QLatin1String("bin") &&
           QFileInfo(bin.filePath(QStringLiteral("../share/doc/cellwright"))).isDir();
}

QString ChooseSettingsPath(const QString& exeDir, const QString& configDir, bool exeDirWritable) {
    if (IsInstalledProgramDir(exeDir)) return QDir(configDir).filePath(QStringLiteral("cellwr.ini"));
    const QString portable = QDir(exeDir).filePath(QStringLiteral("cellwr.ini"));
    if (exeDirWritable || QFileInfo::exists(portable)) return portable;
    return QDir(configDir).filePath(QStringLiteral("cellwr.ini"));
}

QString SettingsPath() {
    if (!TestPath.isEmpty()) return TestPath;
    const QString exeDir = QCoreApplication::applicationDirPath();
    return ChooseSettingsPath(exeDir, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                              QFileInfo(exeDir).isWritable());
}

void SetSettingsPath(const QString& path) { TestPath = path; }

}  // namespace cel
