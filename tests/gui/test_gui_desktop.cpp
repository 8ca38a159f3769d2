// The IDE as a desktop application: its command line (files opened after start-up as File >
// Open opens them, --help and --version without a window, usage errors) and icons that stay
// sharp on high-density screens.

#include "gui_support.h"

#include "cel_CommandLine.h"
#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_Version.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolBar>

using namespace celtest;

Q_DECLARE_METATYPE(cel::TCommandLine::TAction)

namespace {

// What the windows show after files were opened.
struct TOpened {
    QStringList Tabs;
    int Current = -1;
    QByteArray Text;
    QStringList Recent;
    QStringList Messages;
    QString CurrentDir;
    bool operator==(const TOpened&) const = default;
    QString Describe() const {
        return QStringLiteral("tabs [%1] current %2, recent [%3], messages [%4], folder %5")
            .arg(Tabs.join(QLatin1Char(',')))
            .arg(Current)
            .arg(Recent.join(QLatin1Char(',')), Messages.join(QLatin1Char('|')), CurrentDir);
    }
};

TOpened Observe(const TScriptedDialogs& dialogs) {
    TOpened seen;
    for (int i = 0; i < EditWin->Tabs->count(); ++i) seen.Tabs << EditWin->Tabs->tabText(i);
    seen.Current = EditWin->Tabs->currentIndex();
    seen.Text = EditWin->Text();
    for (int i = 0; i < 5; ++i)
        if (celtest::RecentItem(i)->isVisible()) seen.Recent << TMainWinProbe::RecentPath(i);
    seen.Messages = dialogs.Shown;
    seen.CurrentDir = QDir::currentPath();
    return seen;
}

// Runs the real executable with these arguments; the environment is the test's, less the
// variables named in drop and with those in add.
struct TProcessResult {
    int Status = -1;
    QByteArray Out, Err;
};
TProcessResult RunIde(const QStringList& arguments, const QStringList& drop, const QStringList& add = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : drop) environment.remove(name);
    for (const QString& pair : add) environment.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CELLWRIGHT_IDE), arguments);
    TProcessResult result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    if (process.exitStatus() == QProcess::NormalExit) result.Status = process.exitCode();
    result.Out = process.readAllStandardOutput();
    result.Err = process.readAllStandardError();
    return result;
}

// A menu caption as the guide writes it: no accelerator marks, no trailing " ...".
QString Plain(QString caption) {
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
    caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    if (caption.endsWith(QStringLiteral(" ..."))) caption.chop(4);
    return caption;
}

}  // namespace

class TestGuiDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QuietOffscreenWarnings(); }
    void cleanup() { QDir::setCurrent(QDir::tempPath()); }

    void parseCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<cel::TCommandLine::TAction>("action");
        QTest::addColumn<QStringList>("files");  // relative to the current folder
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("newInstance");
        using A = cel::TCommandLine;
        QTest::newRow("nothing: start as always") << QStringList{} << A::Start << QStringList{} << QString() << false;
        QTest::newRow("files in their order") << QStringList{"b.b", "a.pb", "b.b"} << A::Start
                                              << QStringList{"b.b", "a.pb", "b.b"} << QString() << false;
        QTest::newRow("a relative path is made whole and clean")
            << QStringList{"./x/../y.bf", "x//z.b"} << A::Start << QStringList{"y.bf", "x/z.b"} << QString() << false;
        QTest::newRow("--help") << QStringList{"--help"} << A::Help << QStringList{} << QString() << false;
        QTest::newRow("-h") << QStringList{"-h"} << A::Help << QStringList{} << QString() << false;
        QTest::newRow("--version after a file") << QStringList{"a.b", "--version"} << A::Version << QStringList{}
                                                << QString() << false;
        QTest::newRow("an unknown option") << QStringList{"a.b", "--bogus", "--help"} << A::UsageError
                                           << QStringList{} << QStringLiteral("unknown option --bogus") << false;
        QTest::newRow("a single-dash option") << QStringList{"-x"} << A::UsageError << QStringList{}
                                              << QStringLiteral("unknown option -x") << false;
        QTest::newRow("after -- everything is a file") << QStringList{"--", "--help", "-x.b"} << A::Start
                                                       << QStringList{"--help", "-x.b"} << QString() << false;
        QTest::newRow("a lone dash is a file name") << QStringList{"-"} << A::Start << QStringList{"-"} << QString() << false;
        QTest::newRow("an empty file name") << QStringList{"a.b", ""} << A::UsageError << QStringList{}
                                            << QStringLiteral("an empty file name") << false;
        QTest::newRow("--new-instance with files")
            << QStringList{"--new-instance", "a.b"} << A::Start << QStringList{"a.b"} << QString() << true;
        QTest::newRow("--new-instance after --help") << QStringList{"--help", "--new-instance"} << A::Help
                                                     << QStringList{} << QString() << false;
        QTest::newRow("--new-instance after -- is a file")
            << QStringList{"--", "--new-instance"} << A::Start << QStringList{"--new-instance"} << QString() << false;
    }
    void parseCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(cel::TCommandLine::TAction, action);
        QFETCH(QStringList, files);
        QFETCH(QString, error);
        QFETCH(bool, newInstance);
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        const cel::TCommandLine line = cel::ParseCommandLine(arguments);
        QCOMPARE(line.Action, action);
        QStringList expected;
        for (const QString& file : files) expected << QDir(dir.path()).filePath(file);
        QCOMPARE(line.Files, expected);
        QCOMPARE(line.Error, error);
        QCOMPARE(line.NewInstance, newInstance);
    }

    // The platform asked of Qt: XWayland in a Wayland session with an X display, unless the user
    // chose one.
    void choosePlatform_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");  // WAYLAND_DISPLAY, DISPLAY, XDG_SESSION_TYPE, QT_QPA_PLATFORM
        QTest::addColumn<QString>("platform");
        const QString xcb = QStringLiteral("xcb;wayland");
        QTest::newRow("X11 session: Qt's choice") << QStringList{} << QStringList{"", ":0", "x11", ""} << QString();
        QTest::newRow("Wayland with XWayland: xcb") << QStringList{"a.b"} << QStringList{"wayland-0", ":0", "", ""} << xcb;
        QTest::newRow("Wayland session type with XWayland: xcb") << QStringList{} << QStringList{"", ":1", "wayland", ""}
                                                                  << xcb;
        QTest::newRow("Wayland without XWayland: native") << QStringList{} << QStringList{"wayland-0", "", "wayland", ""}
                                                          << QString();
        QTest::newRow("QT_QPA_PLATFORM stands") << QStringList{} << QStringList{"wayland-0", ":0", "", "wayland"}
                                                << QString();
        QTest::newRow("-platform stands") << QStringList{"-platform", "wayland", "a.b"}
                                          << QStringList{"wayland-0", ":0", "", ""} << QString();
        QTest::newRow("--platform=NAME stands") << QStringList{"--platform=offscreen"}
                                                << QStringList{"wayland-0", ":0", "", ""} << QString();
        QTest::newRow("a file after -- named -platform") << QStringList{"--", "-platform"}
                                                         << QStringList{"wayland-0", ":0", "", ""} << xcb;
        QTest::newRow("no display at all") << QStringList{} << QStringList{"", "", "", ""} << QString();
    }
    void choosePlatform() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(QString, platform);
        QCOMPARE(cel::ChoosePlatform(arguments, {environment[0], environment[1], environment[2], environment[3]}), platform);
    }

    // Files handed over by a later start: a new one opens in a tab as File > Open opens it, one
    // open already has its tab brought forward; while a program runs they wait for its end.
    void handedFilesOpenOrComeForward() {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a.b"));
        const QString b = dir.filePath(QStringLiteral("b.b"));
        QVERIFY(WriteAll(a, "+"));
        QVERIFY(WriteAll(b, ","));
        TWindows windows;
        MainWin->TakeHandedFiles({a, b});
        QCOMPARE(EditWin->Tabs->count(), 2);
        MainWin->TakeHandedFiles({a});
        QCOMPARE(EditWin->Tabs->count(), 2);
        QCOMPARE(EditWin->Tabs->currentIndex(), 0);
        QCOMPARE(EditWin->Text(), QByteArray("+"));
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - ") + a);

        // b reads input: the run waits, and so does the file handed over meanwhile.
        MainWin->TakeHandedFiles({b});
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY(Workspace->WaitingForInput());
        const QString c = dir.filePath(QStringLiteral("c.b"));
        QVERIFY(WriteAll(c, "."));
        MainWin->TakeHandedFiles({c});
        QCOMPARE(EditWin->Tabs->count(), 2);
        QVERIFY(Trigger("MenuReset"));
        QTRY_COMPARE(EditWin->Tabs->count(), 3);
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - ") + c);
        QVERIFY(windows.Dialogs.Unexpected.isEmpty());
    }

    // Files named on the command line open exactly as the same files chosen in File > Open:
    // tabs, text, recent list, messages for a missing file and the current folder.
    void filesOpenAsFileOpenOpensThem() {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a.b"));
        const QString b = dir.filePath(QStringLiteral("sub/b.pb"));
        const QString missing = dir.filePath(QStringLiteral("gone.b"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QVERIFY(WriteAll(a, "+\n+"));
        QVERIFY(WriteAll(b, "(:)"));
        const QStringList files{a, missing, b};
        const QString missingText = QStringLiteral("The file \"") + missing + QStringLiteral("\" does not exist.");

        TOpened throughDialog, throughCommandLine;
        {
            TWindows windows;
            windows.Dialogs.OpenAnswers.push_back(files);
            windows.Dialogs.Expect(missingText);
            QVERIFY(Trigger("MenuOpen"));
            throughDialog = Observe(windows.Dialogs);
            QVERIFY(windows.Dialogs.Unexpected.isEmpty());
        }
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
        {
            TWindows windows;
            windows.Dialogs.Expect(missingText);
            MainWin->OpenFiles(files);
            throughCommandLine = Observe(windows.Dialogs);
            QVERIFY(windows.Dialogs.Unexpected.isEmpty());
            QVERIFY(EditWin->isVisible());
            QVERIFY(celtest::Action("MenuEditor")->isChecked());

            // An empty list changes nothing.
            MainWin->OpenFiles({});
            QCOMPARE(Observe(windows.Dialogs), throughCommandLine);
        }
        QVERIFY2(throughCommandLine == throughDialog,
                 qPrintable(throughCommandLine.Describe() + QStringLiteral(" against ") + throughDialog.Describe()));
        // And what that is: the untouched first document took the first file.
        QCOMPARE(throughCommandLine.Tabs, (QStringList{"a.b", "b.pb"}));
        QCOMPARE(throughCommandLine.Current, 1);
        QCOMPARE(throughCommandLine.Text, QByteArray("(:)"));
        QCOMPARE(throughCommandLine.Recent, (QStringList{b, a}));
        QCOMPARE(throughCommandLine.Messages, QStringList{missingText});
    }

    // --help and --version need no display: they answer before any window exists.
    void helpAndVersionWithoutADisplay() {
        const QStringList noDisplay{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
        TProcessResult r = RunIde({QStringLiteral("--version")}, noDisplay);
        QCOMPARE(r.Status, 0);
        QCOMPARE(r.Out, QByteArray("cellwright " CELLWRIGHT_VERSION "\n"));
        QCOMPARE(r.Err, QByteArray());

        r = RunIde({QStringLiteral("some.b"), QStringLiteral("--help")}, noDisplay);
        QCOMPARE(r.Status, 0);
        QVERIFY2(r.Out.startsWith("usage: cellwright [--new-instance] [FILE...]\n"), r.Out.constData());
        for (const char* option : {"\n  FILE...  ", "\n  --help  ", "\n  --version  ", "\n  --  "})
            QVERIFY2(r.Out.contains(option), option);
        QCOMPARE(r.Err, QByteArray());
    }

    void unknownOptionIsAUsageError() {
        // Qt's own options are Qt's; the rest are judged once Qt has taken them.
        TProcessResult r = RunIde({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bogus")},
                                  {QStringLiteral("QT_QPA_PLATFORM")});
        QCOMPARE(r.Status, 2);
        QCOMPARE(r.Out, QByteArray());
        QVERIFY2(r.Err.contains("cellwright: unknown option --bogus\nusage: cellwright [--new-instance] [FILE...]\n"), r.Err.constData());
        r = RunIde({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")}, {});
        QCOMPARE(r.Status, 0);
        QCOMPARE(r.Out, QByteArray("cellwright " CELLWRIGHT_VERSION "\n"));
    }

    // The guide's keyboard table names every shortcut of the main menu with its command, and
    // no other key.
    void guideListsEveryShortcut() {
        TWindows windows;
        QFile file(QStringLiteral(CELLWRIGHT_SOURCE_DIR "/README.md"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        const qsizetype start = text.indexOf(QStringLiteral("\n## Keyboard reference\n"));
        QVERIFY(start >= 0);
        const QString section = text.mid(start, text.indexOf(QStringLiteral("\n## "), start + 1) - start);
        QMap<QString, QString> guide;
        static const QRegularExpression key(QStringLiteral("`([^`]+)`"));
        for (const QString& line : section.split(QLatin1Char('\n'))) {
            if (!line.startsWith(QStringLiteral("| `"))) continue;
            const QStringList cells = line.split(QLatin1Char('|'));
            QVERIFY2(cells.size() >= 4, qPrintable(line));
            for (auto it = key.globalMatch(cells[1]); it.hasNext();) {
                const QString keys = it.next().captured(1);
                QVERIFY2(!guide.contains(keys), qPrintable(keys + QStringLiteral(" twice")));
                guide.insert(keys, cells[2].trimmed());
            }
        }
        QMap<QString, QString> menu;
        for (QMenu* m : {celtest::Menu("MenuFile"), celtest::Menu("MenuEdit"), celtest::Menu("MenuView"), celtest::Menu("MenuRun"),
                         celtest::Menu("MenuInterpreter"), celtest::Menu("MenuExtras"), celtest::Menu("MenuHelp")})
            for (QAction* action : m->actions())
                if (!action->shortcut().isEmpty())
                    menu.insert(action->shortcut().toString(QKeySequence::PortableText),
                                Plain(m->title()) + QStringLiteral(" > ") + Plain(action->text()));
        QCOMPARE(guide.keys(), menu.keys());
        for (auto it = menu.cbegin(); it != menu.cend(); ++it) {
            // The recent-file entries are captioned with their paths.
            if (it.value().endsWith(QStringLiteral(" > "))) continue;
            QCOMPARE(guide.value(it.key()), it.value());
        }
    }

    // Every toolbar image and the window icon are drawn at the screen's density: twice the
    // pixels on a 2x screen, not a 16-pixel image stretched.
    void iconsRenderAtTheScreensDensity() {
        TWindows windows;
        QList<QAction*> buttons;
        for (QAction* action : MainWin->findChild<QToolBar*>(QStringLiteral("ToolBar"))->actions())
            if (!action->isSeparator()) buttons << action;
        QCOMPARE(buttons.size(), 13);
        for (QAction* action : buttons) {
            const QPixmap sharp = action->icon().pixmap(QSize(16, 16), 2.0);
            QVERIFY2(sharp.size() == QSize(32, 32), qPrintable(action->objectName()));
            QCOMPARE(sharp.devicePixelRatio(), 2.0);
            // Drawn anew, not the small image scaled: the two differ somewhere.
            const QImage small = action->icon().pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
            const QImage stretched = small.scaled(32, 32);
            QVERIFY2(sharp.toImage().convertToFormat(QImage::Format_ARGB32) != stretched,
                     qPrintable(action->objectName()));
        }
        const QIcon appIcon = MainWin->windowIcon();
        QVERIFY(!appIcon.isNull());
        for (int size : {16, 32, 48, 128}) QCOMPARE(appIcon.pixmap(QSize(size, size), 2.0).size(), QSize(2 * size, 2 * size));
    }
};

QTEST_MAIN(TestGuiDesktop)
#include "test_gui_desktop.moc"
