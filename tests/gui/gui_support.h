// Helpers for driving the real windows in tests: scripted message boxes and dialogs, the window
// set as the program creates it, the base of the test classes, triggering commands by name,
// typed input, modal dialogs and the enabling of the commands per run state.
#pragma once

#include "cel_Dialogs.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

class TMainWin;
class TColorWin;
class TInputFileWin;
namespace cel {
class TEngineHost;
}
class TOutputFileWin;
class TBufferSizeWin;
class TSpeedWin;
class TInfoWin;
class TStripWin;
class TTextGenWin;
class TFindWin;
class TEditWin;
class TOutputWin;
class TMemoryWin;
class TModifyWin;
class TWaitWin;
class QAction;
class QDialog;
class QLineEdit;
class QMenu;

namespace celtest {

// Answers message boxes and dialogs from a queue and records what was shown. A box that nobody
// queued an answer for fails the test (and answers Cancel/Ok so the test can go on).
class TScriptedDialogs final : public cel::TDialogs {
public:
    struct TExpected {
        QString TextContains;
        TAnswer Answer;
    };
    std::deque<TExpected> Messages;
    std::deque<QStringList> OpenAnswers;
    std::deque<QString> SaveAnswers;
    QStringList SaveDirs;   // the folder (or file) each save dialog opened on
    QStringList Shown;      // every message text, in order
    QStringList Unexpected; // texts of boxes no answer was queued for
    // Runs while a message box "shows", before it is answered: a test can do there what a real
    // box and the window manager do meanwhile (take the activation, for one).
    std::function<void()> WhileShown;

    void Expect(const QString& textContains, TAnswer answer = TAnswer::Ok) {
        Messages.push_back({textContains, answer});
    }

    TAnswer Message(QWidget*, TKind, const QString& text, int buttons) override;
    QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&, bool) override;
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override;
    bool ChooseFont(QWidget*, QFont&) override { return false; }
    // Colours the colour dialog answers with, in turn; none left: cancelled.
    std::deque<QColor> ColorAnswers;
    bool ChooseColor(QWidget*, QColor& color) override;
    QStringList OpenedUrls;  // addresses handed to the desktop
    bool OpenUrl(const QUrl& url) override;
};

// The window set of the program, created in its order, with scripted dialogs installed. The
// settings file is the given one, or a fresh one in a directory of its own.
class TWindows {
public:
    explicit TWindows(const QString& settingsPath = QString(), TScriptedDialogs* dialogs = nullptr);
    ~TWindows();
    TScriptedDialogs OwnDialogs;
    TScriptedDialogs& Dialogs;
    QTemporaryDir SettingsDir;
    std::unique_ptr<TMainWin> Main;
    std::unique_ptr<TColorWin> Color;
    std::unique_ptr<TEditWin> Edit;
    std::unique_ptr<TOutputWin> Output;
    std::unique_ptr<TMemoryWin> Memory;
    std::unique_ptr<TInputFileWin> InputFile;
    std::unique_ptr<TOutputFileWin> OutputFile;
    std::unique_ptr<TBufferSizeWin> BufferSize;
    std::unique_ptr<TModifyWin> Modify;
    std::unique_ptr<TWaitWin> Wait;
    std::unique_ptr<TSpeedWin> Speed;
    std::unique_ptr<TInfoWin> Info;
    std::unique_ptr<TStripWin> Strip;
    std::unique_ptr<TTextGenWin> TextGen;
    std::unique_ptr<TFindWin> Find;
};

// The base of the window test classes. Every test function gets a window set of its own; after
// it, any program still there is ended and the windows go, and the test fails when a message box
// came up that nobody expected, a program did not end, or a window other than the four work
// windows was left open. A class adds its own needs through the hooks, each run in the slot
// named beside it; a hook may fail the test (QVERIFY and the like), and the windows go anyway.
class TGuiTest : public QObject {
    Q_OBJECT
protected:
    virtual void PrepareSuite() {}  // initTestCase, once before the first test
    virtual void PrepareCase() {}   // init, once the windows exist
    virtual void CheckCase() {}     // cleanup, before a program still there is ended
    virtual void FinishCase() {}    // cleanup, once the windows are gone

    std::unique_ptr<TWindows> Windows;

protected slots:
    void initTestCase();
    void init();
    void cleanup();
};

// Triggers the main window's action of that name; fails when it is missing or disabled.
bool Trigger(const char* name);
// The main window's command (menu item or toolbar button) or menu of that object name, found
// through Qt; a missing one fails the test when used.
QAction* Action(const char* name);
QMenu* Menu(const char* name);
// The recent-file entries of the File menu, index 0 for "MenuRecent1".
QAction* RecentItem(int index);
QList<QAction*> RecentItems();
// Waits until no program exists and its engine has finished.
bool WaitReady(int timeoutMs = 20000);
// Waits until the engine sits in a pause or an input request.
bool WaitSuspended(int timeoutMs = 20000);
// Puts the program into the editor and starts it with the command of that name (Run, Trace,
// Run to Cursor), then waits until it pauses or asks for input. False, with a note in the log,
// when the command is not available or the program ends first.
bool StartSuspended(const QByteArray& program, const char* command);

// Where a program stands, as the enabling of the commands follows it.
enum class TRunState { Ready, Running, Paused, Waiting };
const char* RunStateName(TRunState state);
TRunState RunStateNow();
// The object names of the commands (menu items, toolbar buttons, the menus themselves, and the
// editor's read-only state) whose enabling is wrong for the state; hidden recent-file entries
// are left out, as nothing can trigger them.
QStringList WrongEnabling(TRunState state);

// Types a line or a number into the output window's field and confirms it with Ok.
void EnterLine(const QString& text);
void EnterNumber(const QString& text);
// Types text into a line edit, an editable combo box or a plain text box as the keyboard would:
// "\n" presses Enter, and a character outside ASCII arrives as one insertion.
void TypeInto(QWidget* target, const QString& text);
// Sends a key to a widget as the user would press it, then lets the queued command run.
void Press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Shows a modal dialog through open() and runs inside() in the dialog's loop once it shows. A
// dialog still open afterwards is rejected, so a broken one fails its test instead of hanging it.
// True when open() succeeded and inside() ran.
bool RunModal(QDialog* dialog, const std::function<bool()>& open, const std::function<void()>& inside);
// For a dialog a command makes and shows itself: once the modal window of that object name
// shows (within 10 s), runs inside() in its loop and rejects it if still open. Call it before
// the command; *ran (when given) says whether it came.
void WhenModal(const char* name, std::function<void(QDialog*)> inside, bool* ran = nullptr);
// Closes a showing dialog the given way: "Enter" or "Esc" on the widget with the focus,
// "CloseBox" as the window manager's close box does, or else a click on the button of that
// object name. True when the dialog is closed afterwards.
bool CloseDialog(QDialog* dialog, const QString& how);
// Where a window whose outer frame has that size stands when centred on the work area.
QPoint CentredOnWorkArea(const QSize& outer);

// A file's bytes, or "<unreadable>".
QByteArray ReadAll(const QString& path);
bool WriteAll(const QString& path, const QByteArray& bytes);

// Drops the offscreen platform's notes about window operations it does not offer (raise()),
// which the windows use on every run; every other message goes through as before.
void QuietOffscreenWarnings();

}  // namespace celtest

// What the window tests read and set of the main window beyond what Qt shows: the saved window
// arrangement, the recent-file list and the document operations behind the commands.
class TMainWinProbe {
public:
    static bool& FirstLayout();
    static int& SavedMainX();
    static int& SavedMainY();
    static int& SavedEditorX();
    static int& SavedEditorY();
    static int& SavedEditorWidth();
    static int& SavedEditorHeight();
    static int& SavedOutputX();
    static int& SavedOutputY();
    static int& SavedOutputWidth();
    static int& SavedOutputHeight();
    static int& SavedMemoryX();
    static int& SavedMemoryY();
    static int& SavedMemoryHeight();
    static QString RecentPath(int index);
    static void AddRecent(const QString& path);
    static bool IsRecent(const QString& path);
    static bool QuerySaveCurrent();
    static bool OpenFile(const QString& path);
    static void AfterOpen();
    static bool EngineIdle();
    static cel::TEngineHost& Host();
    static void TimerTimer();
    static void LayoutCheckTimer();
    static void QuickLayoutChecks();
    static void ShowRunCounters();
};
