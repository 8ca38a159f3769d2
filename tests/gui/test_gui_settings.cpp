// The settings file through the real windows: every key carried from one start of the program
// to the next, the ranges of the values read, and the files that cannot be used. The file's own
// rules are tested without windows in tests/settings.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_Frame.h"
#include "cel_Settings.h"

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolBar>
#include <Qsci/qsciscintilla.h>

using namespace celtest;

namespace {

// Every key in the order a new file lists them, with values unlike the defaults.
const QByteArray EveryKey =
    "[Program]\r\nversion=1.4.7\r\nflat=0\r\nmain_x=10\r\nmain_y=20\r\neditor_x=30\r\neditor_y=40\r\n"
    "editor_width=500\r\neditor_height=300\r\noutput_x=31\r\noutput_y=341\r\noutput_width=501\r\n"
    "output_height=201\r\nmemory_x=532\r\nmemory_y=42\r\nmemory_height=402\r\nsize_toggle=1\r\n\r\n"
    "[Editor]\r\ntextcolor=65280\r\nbgcolor=2105376\r\nfontsize=12\r\nfontname=Liberation Mono\r\n"
    "gutter=0\r\nedge=0\r\n\r\n"
    "[Interpreter]\r\n8bit=0\r\npbrain=1\r\noutputbuffersize=64\r\nexecutionspeed=100\r\n"
    "enablecomments=0\r\nprofile=1\r\n\r\n"
    "[Recent]\r\n1=/tmp/first.b\r\n2=/tmp/salt&pepper.b\r\n3=\r\n4=\r\n5=\r\n\r\n";

QByteArray WithValue(const QByteArray& key, const QByteArray& value) {
    QByteArray text = EveryKey;
    const qsizetype at = text.indexOf("\n" + key + "=") + 1;
    const qsizetype end = text.indexOf('\r', at);
    return text.replace(at, end - at, key + "=" + value);
}

// Compared line by line, so a failure names the first line that differs.
QStringList Lines(const QByteArray& text) { return QString::fromLatin1(text).split(QStringLiteral("\r\n")); }

// The keys of a written file, section by section, in their order.
QStringList KeysOf(const QByteArray& text) {
    QStringList keys;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) keys << QString::fromLatin1(trimmed);
        else if (trimmed.contains('=')) keys << QString::fromLatin1(trimmed.left(trimmed.indexOf('=')));
    }
    return keys;
}

}  // namespace

class TestGuiSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QuietOffscreenWarnings(); }
    // Each test has a directory of its own.
    void init() {
        Scratch = std::make_unique<QTemporaryDir>();
        Dir.setPath(Scratch->path());
        Path = Dir.filePath(QStringLiteral("cellwr.ini"));
    }
    void cleanup() { Scratch.reset(); }

    void noFileGivesDefaultsAndANewFile() {
        {
            TWindows windows(Path);
            QVERIFY(Workspace->Settings);
            QVERIFY(Workspace->SizeToggle);  // the computed layout used 0.66 and switched
            QVERIFY(celtest::Action("MenuFlat")->isChecked() && celtest::Action("MenuGutter")->isChecked() && celtest::Action("MenuEdge")->isChecked());
            QVERIFY(celtest::Action("Menu8Bit")->isChecked() && celtest::Action("Btn8Bit")->isChecked());
            QVERIFY(!celtest::Action("MenuPBrain")->isChecked() && celtest::Action("MenuEnableComments")->isChecked());
            QVERIFY(!celtest::Action("MenuProfile")->isChecked());
            QCOMPARE(Workspace->OutputBufferSize, 128);
            QCOMPARE(Workspace->WatchDelay, 20);
            for (QAction* item : celtest::RecentItems()) QVERIFY(!item->isVisible());
            QVERIFY(MainWin->close());
            QVERIFY(windows.Dialogs.Unexpected.isEmpty());
            const QByteArray text = ReadAll(Path);
            QCOMPARE(KeysOf(text), KeysOf(EveryKey));
            QVERIFY(text.contains("\r\nmain_x=" + QByteArray::number(cel::OuterGeometry(MainWin).x()) + "\r\n"));
            QVERIFY(text.contains("\r\neditor_height=" + QByteArray::number(cel::OuterGeometry(EditWin).height()) + "\r\n"));
            QVERIFY(text.contains("\r\nmemory_height=" + QByteArray::number(cel::OuterGeometry(MemoryWin).height()) + "\r\n"));
            QVERIFY(text.contains("\r\nfontsize=10\r\nfontname=Courier New\r\n"));
            QVERIFY(text.contains("[Recent]\r\n1=\r\n2=\r\n3=\r\n4=\r\n5=\r\n\r\n"));
            QVERIFY(text.endsWith("\r\n\r\n") && !text.contains("\n\n"));
        }
    }

    void everyKeyRoundTrips() {
        QVERIFY(WriteAll(Path, EveryKey));
        TWindows windows(Path);
        QVERIFY(!celtest::Action("MenuFlat")->isChecked());
        // Positions and sizes are those of the outer frames.
        QCOMPARE(cel::OuterGeometry(MainWin).topLeft(), QPoint(10, 20));
        QCOMPARE(cel::OuterGeometry(EditWin), QRect(30, 40, 500, 300));
        QCOMPARE(cel::OuterGeometry(OutputWin), QRect(31, 341, 501, 201));
        QCOMPARE(cel::OuterGeometry(MemoryWin), QRect(532, 42, 208, 402));
        QVERIFY(Workspace->SizeToggle);
        QCOMPARE(Workspace->TextColor, 0x00FF00u);
        QCOMPARE(Workspace->BackgroundColor, 0x202020u);
        QCOMPARE(EditWin->Editor->font().family(), QStringLiteral("Liberation Mono"));
        QCOMPARE(EditWin->Editor->font().pointSize(), 12);
        QCOMPARE(OutputWin->Output->font().pointSize(), 12);
        QVERIFY(!celtest::Action("MenuGutter")->isChecked());
        QVERIFY(!celtest::Action("MenuEdge")->isChecked());
        QCOMPARE(EditWin->RightEdge(), 0);
        // "8bit" 0 starts in 16-bit mode, item and button alike.
        QVERIFY(celtest::Action("Menu16Bit")->isChecked() && celtest::Action("Btn16Bit")->isChecked());
        QVERIFY(!celtest::Action("Menu8Bit")->isChecked() && !celtest::Action("Btn8Bit")->isChecked());
        QVERIFY(celtest::Action("MenuPBrain")->isChecked() && celtest::Action("BtnPBrain")->isChecked());
        QCOMPARE(Workspace->OutputBufferSize, 64);
        QCOMPARE(Workspace->WatchDelay, 100);
        QVERIFY(!celtest::Action("MenuEnableComments")->isChecked());
        QVERIFY(celtest::Action("MenuProfile")->isChecked());
        QVERIFY(celtest::RecentItem(0)->isVisible() && celtest::RecentItem(1)->isVisible());
        QCOMPARE(celtest::RecentItem(1)->text(), QStringLiteral("/tmp/salt&&pepper.b"));
        QVERIFY(!celtest::RecentItem(2)->isVisible() && !celtest::RecentItem(4)->isVisible());
        // Nothing changed, so the file comes back as it was; a maximised window keeps the frame
        // it has when shown normally.
        EditWin->showMaximized();
        QTRY_VERIFY(EditWin->isMaximized() && cel::OuterGeometry(EditWin) != QRect(30, 40, 500, 300));
        QVERIFY(MainWin->close());
        QCOMPARE(Lines(ReadAll(Path)), Lines(EveryKey));
    }

    void changesAreSavedAndUnknownEntriesKept() {
        QByteArray text = EveryKey;
        text.replace("size_toggle=1\r\n", "size_toggle=1\r\nCustom = keep me\r\n");
        text.append("[Plugins]\r\nname=value\r\n\r\n");
        QVERIFY(WriteAll(Path, text));
        {
            TWindows windows(Path);
            QVERIFY(Trigger("Menu8Bit"));
            QVERIFY(Trigger("MenuEnableComments"));
            QVERIFY(Trigger("MenuProfile"));
            Workspace->WatchDelay = 0;
            Workspace->OutputBufferSize = 255;
            cel::MoveOuter(EditWin, QPoint(33, 44));
            MemoryWin->resize(MemoryWin->width(), 333 - (cel::OuterGeometry(MemoryWin).height() - MemoryWin->height()));
            TMainWinProbe::AddRecent(QStringLiteral("/tmp/third.b"));
            QVERIFY(MainWin->close());
        }
        QByteArray expected = text;
        for (const auto& [from, to] : {std::pair<QByteArray, QByteArray>{"8bit=0", "8bit=1"},
                                       {"enablecomments=0", "enablecomments=1"},
                                       {"profile=1", "profile=0"},
                                       {"executionspeed=100", "executionspeed=0"},
                                       {"outputbuffersize=64", "outputbuffersize=255"},
                                       {"editor_x=30", "editor_x=33"},
                                       {"Custom = keep me", "Custom=keep me"},
                                       {"editor_y=40", "editor_y=44"},
                                       {"memory_height=402", "memory_height=333"},
                                       {"1=/tmp/first.b\r\n2=/tmp/salt&pepper.b\r\n3=",
                                        "1=/tmp/third.b\r\n2=/tmp/first.b\r\n3=/tmp/salt&pepper.b"}})
            expected.replace(from, to);
        QCOMPARE(Lines(ReadAll(Path)), Lines(expected));
        // The next start reads what was saved.
        TWindows windows(Path);
        QVERIFY(celtest::Action("Menu8Bit")->isChecked());
        QCOMPARE(Workspace->WatchDelay, 0);
        QCOMPARE(cel::OuterGeometry(EditWin).topLeft(), QPoint(33, 44));
        QCOMPARE(cel::OuterGeometry(MemoryWin).height(), 333);
    }

    // A recent path whose bytes are not valid UTF-8 (a Latin-1 file name) is written back with
    // its own bytes, also after it moved down the list.
    void recentPathBytesRoundTrip() {
        QByteArray text = EveryKey;
        text.replace("2=/tmp/salt&pepper.b", "2=/tmp/caf\xe9 \xff.b");
        QVERIFY(WriteAll(Path, text));
        {
            TWindows windows(Path);
            QVERIFY(celtest::RecentItem(1)->isVisible());
            QVERIFY(MainWin->close());
        }
        QCOMPARE(Lines(ReadAll(Path)), Lines(text));
        {
            TWindows windows(Path);
            TMainWinProbe::AddRecent(QStringLiteral("/tmp/new.b"));
            windows.Dialogs.Expect(QStringLiteral(" does not exist."));
            celtest::RecentItem(2)->trigger();  // missing: reported, and moved to the top
            QVERIFY(MainWin->close());
            QVERIFY(windows.Dialogs.Unexpected.isEmpty());
        }
        QVERIFY(ReadAll(Path).contains("[Recent]\r\n1=/tmp/caf\xe9 \xff.b\r\n2=/tmp/first.b\r\n3=/tmp/new.b\r\n"));
    }

    void rangesOfTheInterpreterValues_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("buffer 0") << QByteArray("outputbuffersize") << QByteArray("0") << 1;
        QTest::newRow("buffer 300") << QByteArray("outputbuffersize") << QByteArray("300") << 255;
        QTest::newRow("buffer -5") << QByteArray("outputbuffersize") << QByteArray("-5") << 1;
        QTest::newRow("buffer 1") << QByteArray("outputbuffersize") << QByteArray("1") << 1;
        QTest::newRow("buffer not a number") << QByteArray("outputbuffersize") << QByteArray("lots") << 128;
        QTest::newRow("speed -5") << QByteArray("executionspeed") << QByteArray("-5") << 20;
        QTest::newRow("speed 1001") << QByteArray("executionspeed") << QByteArray("1001") << 20;
        QTest::newRow("speed 1000") << QByteArray("executionspeed") << QByteArray("1000") << 1000;
        QTest::newRow("speed 0") << QByteArray("executionspeed") << QByteArray("0") << 0;
        QTest::newRow("speed in hex") << QByteArray("executionspeed") << QByteArray("$64") << 100;
    }
    void rangesOfTheInterpreterValues() {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QVERIFY(WriteAll(Path, WithValue(key, value)));
        TWindows windows(Path);
        QCOMPARE(key == "outputbuffersize" ? Workspace->OutputBufferSize : Workspace->WatchDelay, expected);
    }

    void savedLayoutThreshold() {
        {
            QVERIFY(WriteAll(Path, WithValue("main_x", "-1000000")));
            TWindows windows(Path);
            // No saved layout: computed, with the editor below the main window.
            QVERIFY(cel::OuterGeometry(EditWin).topLeft() != QPoint(30, 40));
            QCOMPARE(cel::OuterGeometry(MemoryWin).x(), cel::OuterGeometry(EditWin).right() + 1);
            QCOMPARE(Workspace->SizeToggle, false);  // read as 1, then switched by the layout
        }
        {
            QVERIFY(WriteAll(Path, WithValue("main_x", "-999999")));
            TWindows windows(Path);
            QCOMPARE(cel::OuterGeometry(EditWin).topLeft(), QPoint(30, 40));
            QCOMPARE(cel::OuterGeometry(MainWin).x(), -999999);
            QCOMPARE(Workspace->SizeToggle, true);
        }
    }

    void otherVersionIsNeitherUsedNorWritten_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("1.4.6") << WithValue("version", "1.4.6");
        QTest::newRow("no version") << WithValue("version", "").replace("version=\r\n", "");
        QTest::newRow("case differs") << WithValue("version", "1.4.7a");
    }
    void otherVersionIsNeitherUsedNorWritten() {
        QFETCH(QByteArray, text);
        QVERIFY(WriteAll(Path, text));
        TScriptedDialogs dialogs;
        dialogs.Expect(QStringLiteral("The cellwr.ini file cannot be used. Version mismatch."));
        {
            TWindows windows(Path, &dialogs);
            QVERIFY(dialogs.Messages.empty());
            QVERIFY(!Workspace->Settings);
            QVERIFY(Workspace->SizeToggle);  // the layout was computed
            QCOMPARE(EditWin->Editor->font().pointSize(), 10);
            QCOMPARE(Workspace->OutputBufferSize, 128);
            QVERIFY(celtest::Action("Menu8Bit")->isChecked());
            QVERIFY(MainWin->close());
        }
        QVERIFY(dialogs.Unexpected.isEmpty());
        QCOMPARE(ReadAll(Path), text);
    }

    void unreadableOrUnwritableFileIsReported() {
        // cellwr.ini is a directory: it cannot be read, and nothing is written at the end.
        QVERIFY(QDir().mkpath(Path));
        TScriptedDialogs dialogs;
        dialogs.Expect(QStringLiteral("An error occurred while reading cellwr.ini."));
        {
            TWindows windows(Path, &dialogs);
            QVERIFY(!Workspace->Settings);
            QVERIFY(MainWin->close());
        }
        QVERIFY(dialogs.Unexpected.isEmpty());
        QVERIFY(QFileInfo(Path).isDir());
        // The file cannot be written: the user is told, and the program still ends.
        QVERIFY(WriteAll(Dir.filePath(QStringLiteral("plainfile")), "x"));
        TScriptedDialogs writeDialogs;
        {
            TWindows windows(Dir.filePath(QStringLiteral("plainfile/cellwr.ini")), &writeDialogs);
            QVERIFY(Workspace->Settings);
            writeDialogs.Expect(QStringLiteral("Could not write cellwr.ini. Possibly the file is protected."));
            QVERIFY(MainWin->close());
            QVERIFY(writeDialogs.Messages.empty());
        }
        QVERIFY(writeDialogs.Unexpected.isEmpty());
    }

    void refusedExitWritesNothing() {
        TWindows windows(Path);
        QVERIFY(StartSuspended("+", "MenuTrace"));
        windows.Dialogs.Expect(QStringLiteral("You cannot exit while running a program."));
        QVERIFY(!MainWin->close());
        QVERIFY(!QFile::exists(Path));
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QVERIFY(MainWin->close());
        QVERIFY(QFile::exists(Path));
    }

private:
    std::unique_ptr<QTemporaryDir> Scratch;
    QDir Dir;
    QString Path;
};

QTEST_MAIN(TestGuiSettings)
#include "test_gui_settings.moc"
