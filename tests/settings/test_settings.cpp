// The settings file on its own, without windows: the reading and writing rules of the INI text,
// its integer values, where the file lives, and saving that never leaves a half-written file.

#include "cel_Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>
#include <memory>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    // Each test has a directory of its own.
    void init() {
        Scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(Scratch->isValid());
        Dir.setPath(Scratch->path());
    }
    void cleanup() { Scratch.reset(); }

    void readingRules() {
        cel::TIniFile ini;
        ini.Parse("  ; a comment\r\nstray=1\r\n[ program ]\r\n  Version = 1.4.7 \r\nmain_x=0x10\r\n"
                  "main_y=$ff\r\nbad=12a\r\n\r\n  a plain line\r\n[Program]\r\nextra=5\n[Other]\r\nx = y = z\r\n");
        QCOMPARE(ini.ReadString(QStringLiteral("PROGRAM"), QStringLiteral("VERSION"), QString()), QStringLiteral("1.4.7"));
        QCOMPARE(ini.ReadInteger(QStringLiteral("Program"), QStringLiteral("main_x"), 0), 16);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Program"), QStringLiteral("main_y"), 0), 255);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Program"), QStringLiteral("bad"), 7), 7);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Program"), QStringLiteral("missing"), 7), 7);
        QCOMPARE(ini.ReadBool(QStringLiteral("Program"), QStringLiteral("extra"), false), true);
        QCOMPARE(ini.ReadString(QStringLiteral("Other"), QStringLiteral("x"), QString()), QStringLiteral("y = z"));
        QVERIFY(!ini.HasKey(QStringLiteral("Program"), QStringLiteral("stray")));
        // Written back: a section read twice is one, the plain line stays, CR LF everywhere.
        QCOMPARE(ini.Text(), QByteArray("[program]\r\nVersion=1.4.7\r\nmain_x=0x10\r\nmain_y=$ff\r\nbad=12a\r\n"
                                        "a plain line\r\nextra=5\r\n\r\n[Other]\r\nx=y = z\r\n\r\n"));
        // A known key keeps its place and spelling; new keys and sections go at the end.
        ini.WriteInteger(QStringLiteral("PROGRAM"), QStringLiteral("main_X"), -3);
        ini.WriteString(QStringLiteral("program"), QStringLiteral("new"), QStringLiteral("n"));
        ini.WriteBool(QStringLiteral("Recent"), QStringLiteral("1"), true);
        QCOMPARE(ini.Text(), QByteArray("[program]\r\nVersion=1.4.7\r\nmain_x=-3\r\nmain_y=$ff\r\nbad=12a\r\n"
                                        "a plain line\r\nextra=5\r\nnew=n\r\n\r\n[Other]\r\nx=y = z\r\n\r\n"
                                        "[Recent]\r\n1=1\r\n\r\n"));
    }

    // A damaged file of many sections (here 200,000, 3.5 MB) reads as quickly as its length
    // allows: finding a section looked through all earlier ones, so this took hours.
    void manySectionsAreReadAtOnce() {
        QByteArray text;
        for (int i = 0; i < 200000; ++i) text += "[s" + QByteArray::number(i) + "]\r\nk=" + QByteArray::number(i) + "\r\n";
        text += "[S7]\r\nmore=1\r\n";
        cel::TIniFile ini;
        ini.Parse(text);
        QCOMPARE(ini.ReadInteger(QStringLiteral("s199999"), QStringLiteral("K"), -1), 199999);
        QCOMPARE(ini.ReadInteger(QStringLiteral("s7"), QStringLiteral("more"), -1), 1);
        ini.WriteInteger(QStringLiteral("S123456"), QStringLiteral("k"), 5);
        QCOMPARE(ini.ReadInteger(QStringLiteral("s123456"), QStringLiteral("k"), -1), 5);
        QCOMPARE(ini.Text().count('['), 200000);
    }

    void integerValues_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("decimal") << "1234" << true << 1234;
        QTest::newRow("negative") << "-1000000" << true << -1000000;
        QTest::newRow("plus") << "+7" << true << 7;
        QTest::newRow("0x") << "0x1F" << true << 31;
        QTest::newRow("0X") << "0XfF" << true << 255;
        QTest::newRow("dollar") << "$FFFFFF" << true << 0xFFFFFF;
        QTest::newRow("32-bit pattern") << "0xFFFFFFFF" << true << -1;
        QTest::newRow("lowest") << "-2147483648" << true << INT32_MIN;
        QTest::newRow("too large") << "2147483648" << false << 0;
        QTest::newRow("hex too long") << "0x100000000" << false << 0;
        QTest::newRow("trailing letter") << "12a" << false << 0;
        QTest::newRow("hex digits without prefix") << "FF" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("prefix only") << "$" << false << 0;
        QTest::newRow("inner blank") << "1 2" << false << 0;
    }
    void integerValues() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        int32_t read = 0;
        QCOMPARE(cel::ParseIniInteger(text, read), valid);
        if (valid) QCOMPARE(read, value);
    }

    void locationAndSaving() {
        const QString exeDir = Dir.filePath(QStringLiteral("bin"));
        const QString configDir = Dir.filePath(QStringLiteral("config/Cellwright"));
        QVERIFY(QDir().mkpath(exeDir));
        const QString portable = exeDir + QStringLiteral("/cellwr.ini");
        const QString personal = configDir + QStringLiteral("/cellwr.ini");
        // A writable program directory keeps the file beside the program.
        QCOMPARE(cel::ChooseSettingsPath(exeDir, configDir, true), portable);
        // An installed program's directory cannot be written: the user's directory is used.
        QCOMPARE(cel::ChooseSettingsPath(exeDir, configDir, false), personal);
        // A file that is already beside the program stays in use.
        WriteAll(portable, "[Program]\r\nversion=1.4.7\r\n");
        QCOMPARE(cel::ChooseSettingsPath(exeDir, configDir, false), portable);
        // An installation's bin folder (beside share/doc/cellwright) is never written, even by
        // one who could write it, and a file left there by an older version is not read.
        const QString prefix = Dir.filePath(QStringLiteral("usr"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/bin")));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share/doc/cellwright")));
        WriteAll(prefix + QStringLiteral("/bin/cellwr.ini"), "[Program]\r\nversion=1.4.7\r\n");
        QVERIFY(cel::IsInstalledProgramDir(prefix + QStringLiteral("/bin")));
        QCOMPARE(cel::ChooseSettingsPath(prefix + QStringLiteral("/bin"), configDir, true), personal);
        // A bin folder of another kind of tree, and a copy in any other folder, stay portable.
        QVERIFY(!cel::IsInstalledProgramDir(exeDir));
        QVERIFY(!cel::IsInstalledProgramDir(prefix + QStringLiteral("/share")));
        QVERIFY(QDir().mkpath(Dir.filePath(QStringLiteral("copy/share/doc/cellwright"))));
        QVERIFY(!cel::IsInstalledProgramDir(Dir.filePath(QStringLiteral("copy"))));
        QCOMPARE(cel::ChooseSettingsPath(Dir.filePath(QStringLiteral("copy")), configDir, true),
                 Dir.filePath(QStringLiteral("copy/cellwr.ini")));

        // Saving creates the configuration directory.
        cel::TSettings settings;
        QVERIFY(settings.Load(personal));
        QVERIFY(!settings.Existed);
        settings.Ini.WriteString(QStringLiteral("Program"), QStringLiteral("version"), QStringLiteral("1.4.7"));
        QVERIFY(settings.Save());
        QCOMPARE(ReadAll(personal), QByteArray("[Program]\r\nversion=1.4.7\r\n\r\n"));
        // A save that cannot be done fails and leaves nothing behind.
        WriteAll(Dir.filePath(QStringLiteral("plainfile")), "x");
        settings.Path = Dir.filePath(QStringLiteral("plainfile/cellwr.ini"));
        QVERIFY(!settings.Save());
        QCOMPARE(ReadAll(Dir.filePath(QStringLiteral("plainfile"))), QByteArray("x"));
        // A write that fails half way, as on a full disk: the old file stays whole.
        settings.Path = personal;
        for (int i = 0; i < 500; ++i)
            settings.Ini.WriteInteger(QStringLiteral("Program"), QStringLiteral("key%1").arg(i), i);
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool savedOnFullDisk = settings.Save();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!savedOnFullDisk);
        QCOMPARE(ReadAll(personal), QByteArray("[Program]\r\nversion=1.4.7\r\n\r\n"));
        QCOMPARE(QDir(configDir).entryList(QDir::Files), QStringList{QStringLiteral("cellwr.ini")});
        // A file that is there but cannot be read.
        QVERIFY(QDir().mkpath(Dir.filePath(QStringLiteral("dir/cellwr.ini"))));
        QVERIFY(!settings.Load(Dir.filePath(QStringLiteral("dir/cellwr.ini"))));
    }

private:
    std::unique_ptr<QTemporaryDir> Scratch;
    QDir Dir;
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
