#include "gui_support.h"

#include "cel_BufferSizeWin.h"
#include "cel_ColorWin.h"
#include "cel_FindWin.h"
#include "cel_InfoWin.h"
#include "cel_InputFileWin.h"
#include "cel_OutputFileWin.h"
#include "cel_SpeedWin.h"
#include "cel_StripWin.h"
#include "cel_TextGenWin.h"
#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_ModifyWin.h"
#include "cel_OutputWin.h"
#include "cel_Settings.h"
#include "cel_WaitWin.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace celtest {

cel::TDialogs::TAnswer TScriptedDialogs::Message(QWidget*, TKind, const QString& text, int buttons) {
    Shown << text;
    if (WhileShown) WhileShown();
    if (!Messages.empty() && text.contains(Messages.front().TextContains)) {
        const TAnswer answer = Messages.front().Answer;
        Messages.pop_front();
        return answer;
    }
    Unexpected << text;
    return (buttons & ButtonCancel) ? TAnswer::Cancel : TAnswer::Ok;
}

QStringList TScriptedDialogs::OpenFileNames(QWidget*, const QString&, const QString&, const QString&, bool) {
    if (OpenAnswers.empty()) {
        Unexpected << QStringLiteral("open dialog");
        return {};
    }
    QStringList answer = OpenAnswers.front();
    OpenAnswers.pop_front();
    return answer;
}

QString TScriptedDialogs::SaveFileName(QWidget*, const QString&, const QString& dir, const QString&, const QString&) {
    SaveDirs << dir;
    if (SaveAnswers.empty()) {
        Unexpected << QStringLiteral("save dialog");
        return {};
    }
    QString answer = SaveAnswers.front();
    SaveAnswers.pop_front();
    return answer;
}

bool TScriptedDialogs::ChooseColor(QWidget*, QColor& color) {
    if (ColorAnswers.empty()) return false;
    color = ColorAnswers.front();
    ColorAnswers.pop_front();
    return true;
}

bool TScriptedDialogs::OpenUrl(const QUrl& url) {
    OpenedUrls << url.toString();
    return true;
}

TWindows::TWindows(const QString& settingsPath, TScriptedDialogs* dialogs)
    : Dialogs(dialogs ? *dialogs : OwnDialogs) {
    cel::SetSettingsPath(settingsPath.isEmpty() ? SettingsDir.filePath(QStringLiteral("cellwr.ini")) : settingsPath);
    cel::SetDialogs(&Dialogs);
    Main = std::make_unique<TMainWin>();
    TMainWinProbe::QuickLayoutChecks();
    Color = std::make_unique<TColorWin>(Main.get());
    Edit = std::make_unique<TEditWin>();
    Output = std::make_unique<TOutputWin>();
    Memory = std::make_unique<TMemoryWin>();
    InputFile = std::make_unique<TInputFileWin>(Main.get());
    OutputFile = std::make_unique<TOutputFileWin>(Main.get());
    BufferSize = std::make_unique<TBufferSizeWin>(Main.get());
    Modify = std::make_unique<TModifyWin>(Main.get());
    Wait = std::make_unique<TWaitWin>(Main.get());
    Speed = std::make_unique<TSpeedWin>(Main.get());
    Info = std::make_unique<TInfoWin>(Main.get());
    Strip = std::make_unique<TStripWin>(Main.get());
    TextGen = std::make_unique<TTextGenWin>(Main.get());
    Find = std::make_unique<TFindWin>(Main.get());
    Main->show();
    Edit->show();
    Output->show();
    Memory->show();
    // Once shown, the windows have frames, and the arrangement places them again by those.
    (void)QTest::qWaitFor([this] { return !Main->LayoutSettling(); }, 5000);
}

TWindows::~TWindows() {
    // A test that failed half way may leave a program paused or waiting: end it while every
    // window its last hand-offs touch still exists.
    if (Workspace->Running()) {
        Workspace->Interpreter->Terminate();
        Workspace->Interpreter->Resume();
    }
    WaitReady();
    Find.reset();
    TextGen.reset();
    Strip.reset();
    Info.reset();
    Speed.reset();
    Wait.reset();
    Modify.reset();
    BufferSize.reset();
    OutputFile.reset();
    InputFile.reset();
    Memory.reset();
    Output.reset();
    Edit.reset();
    Color.reset();
    Main.reset();
    cel::SetDialogs(nullptr);
    cel::SetSettingsPath(QString());
}

void TGuiTest::initTestCase() {
    QuietOffscreenWarnings();
    PrepareSuite();
}

void TGuiTest::init() {
    Windows = std::make_unique<TWindows>();
    PrepareCase();
}

void TGuiTest::cleanup() {
    // Whatever fails here, the windows go: a window set left behind would outlive the next
    // test's own, and its end would take that one's dialogs and settings path along.
    CheckCase();
    QStringList problems;
    // Program Reset is there while a program exists, once the start's hand-off has run.
    if (Workspace->Running() && !QTest::qWaitFor([] { return !Workspace->Running() || Trigger("MenuReset"); }, 5000))
        problems << QStringLiteral("Program Reset is not available while a program exists");
    if (!WaitReady()) problems << QStringLiteral("the program did not end");
    if (!Windows->Dialogs.Unexpected.isEmpty())
        problems << QStringLiteral("unexpected boxes: ") + Windows->Dialogs.Unexpected.join(QStringLiteral(" | "));
    const QWidget* workWindows[] = {Windows->Main.get(), Windows->Edit.get(), Windows->Output.get(),
                                    Windows->Memory.get()};
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowType() == Qt::ToolTip ||
            std::find(std::begin(workWindows), std::end(workWindows), window) != std::end(workWindows))
            continue;
        problems << QStringLiteral("left open: ") +
                        (window->objectName().isEmpty() ? QString::fromLatin1(window->metaObject()->className())
                                                        : window->objectName());
    }
    // Nothing may hold the windows open on their way out.
    for (int i = 0; i < EditWin->DocumentCount(); ++i) EditWin->Document(i)->Modified = false;
    Windows.reset();
    FinishCase();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

bool Trigger(const char* name) {
    QAction* action = MainWin->findChild<QAction*>(QLatin1String(name));
    if (!action || !action->isEnabled()) return false;
    action->trigger();
    return true;
}

QAction* Action(const char* name) {
    QAction* action = MainWin->findChild<QAction*>(QLatin1String(name));
    if (!action) qFatal("The main window has no command %s", name);
    return action;
}

QMenu* Menu(const char* name) {
    QMenu* menu = MainWin->findChild<QMenu*>(QLatin1String(name));
    if (!menu) qFatal("The main window has no menu %s", name);
    return menu;
}

QAction* RecentItem(int index) { return Action(("MenuRecent" + QByteArray::number(index + 1)).constData()); }

QList<QAction*> RecentItems() {
    QList<QAction*> items;
    for (int i = 0; i < 5; ++i) items << RecentItem(i);
    return items;
}

bool WaitReady(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const bool engineDone = !Workspace->Interpreter->HasEngine() ||
                                Workspace->Interpreter->Engine().IsFinished();
        if (!Workspace->Running() && engineDone) return true;
    }
    return false;
}

bool WaitSuspended(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Suspended with no resume pending, and the thread really waiting.
        if (Workspace->Interpreter->HasEngine() && Workspace->Interpreter->IsSuspended() &&
            Workspace->Interpreter->Engine().IsWaiting())
            return true;
        if (!Workspace->Running() && Workspace->Interpreter->HasEngine() &&
            Workspace->Interpreter->Engine().IsFinished())
            return false;
    }
    return false;
}

bool StartSuspended(const QByteArray& program, const char* command) {
    EditWin->SetText(program);
    if (!Trigger(command)) {
        qWarning("%s is not available", command);
        return false;
    }
    if (!WaitSuspended()) {
        qWarning("the program neither paused nor asked for input");
        return false;
    }
    return true;
}

const char* RunStateName(TRunState state) {
    switch (state) {
    case TRunState::Ready: return "Ready";
    case TRunState::Running: return "Running";
    case TRunState::Paused: return "Paused";
    case TRunState::Waiting: return "Waiting";
    }
    return "?";
}

TRunState RunStateNow() {
    if (!Workspace->Running()) return TRunState::Ready;
    if (Workspace->WaitingForInput()) return TRunState::Waiting;
    if (Workspace->Paused()) return TRunState::Paused;
    return TRunState::Running;
}

QStringList WrongEnabling(TRunState state) {
    const bool ready = state == TRunState::Ready;
    const bool running = state == TRunState::Running;
    const bool paused = state == TRunState::Paused;
    const bool waiting = state == TRunState::Waiting;
    const struct {
        std::vector<const char*> Names;
        bool On;
    } rows[] = {
        {{"MenuNew", "MenuOpen", "MenuClose", "BtnNew", "BtnOpen", "BtnClose", "MenuRecent1", "MenuRecent2",
          "MenuRecent3", "MenuRecent4", "MenuRecent5"},
         ready},
        {{"Menu8Bit", "Menu16Bit", "Btn8Bit", "Btn16Bit", "MenuPBrain", "BtnPBrain", "MenuEnableComments", "MenuProfile"},
         ready},
        {{"MenuSetInputFile", "MenuSetOutputFile", "MenuColors", "MenuBufferSize"}, ready},
        {{"MenuDoRun", "MenuTrace", "MenuRunToCursor", "BtnRun", "BtnTrace", "BtnRunToCursor",
          "MenuToggleBreakpoint", "MenuClearBreakpoints", "MenuStepOver", "MenuStepOut", "MenuBreakpoints",
          "MenuClearWatchpoints"},
         ready || paused},
        {{"MenuDebug", "BtnDebug"}, running || waiting},
        {{"MenuReset", "BtnReset"}, !ready},
        {{"MenuModifyMemory", "MenuBreakOnChange", "MenuBreakOnArrival"}, paused},
        {{"MenuStepBack", "MenuRunBackwards", "MenuBackToCursor"}, paused && Workspace->Interpreter->GetExecuted() > 0},
        {{"MenuSave", "MenuSaveAs", "MenuExit", "BtnSave", "MenuWinSize", "MenuToggle", "MenuEditor", "MenuOutput",
          "MenuMemory", "MenuFlat", "MenuGutter", "MenuEdge", "MenuWatch", "BtnWatch", "MenuSpeed", "Menu0x0A",
          "Menu0x0D0A", "Menu0x0D", "Menu0x0A0D", "MenuNoLineBreak", "MenuClearOutput", "MenuFont", "MenuTextGen",
          "MenuStrip", "MenuInfo", "MenuMinimize", "MenuMatchBracket"},
         true},
    };
    QStringList wrong;
    for (const auto& row : rows)
        for (const char* name : row.Names) {
            const QAction* action = MainWin->findChild<QAction*>(QLatin1String(name));
            if (!action) {
                wrong << QStringLiteral("%1 (missing)").arg(QLatin1String(name));
                continue;
            }
            const bool hiddenRecent =
                !action->isVisible() && action->objectName().startsWith(QLatin1String("MenuRecent"));
            if (!hiddenRecent && action->isEnabled() != row.On) wrong << action->objectName();
        }
    // The Edit menu as a whole (its items keep their own state); the other menus always.
    const std::pair<const char*, bool> menus[] = {{"MenuEdit", ready},  {"MenuFile", true},        {"MenuView", true},
                                                  {"MenuRun", true},    {"MenuInterpreter", true}, {"MenuExtras", true},
                                                  {"MenuHelp", true}};
    for (const auto& [name, on] : menus) {
        const QMenu* menu = MainWin->findChild<QMenu*>(QLatin1String(name));
        if (!menu) wrong << QStringLiteral("%1 (missing)").arg(QLatin1String(name));
        else if (menu->isEnabled() != on) wrong << menu->objectName();
    }
    if (EditWin->Editor->isReadOnly() == ready) wrong << QStringLiteral("editor read-only");
    return wrong;
}

namespace {
void Enter(QLineEdit* field, const QString& text) {
    OutputWin->LastInputEdit = field;
    field->setText(text);
    OutputWin->BtnOkClick();
}
}  // namespace

void EnterLine(const QString& text) { Enter(OutputWin->EditLine, text); }
void EnterNumber(const QString& text) { Enter(OutputWin->EditNumber, text); }

void TypeInto(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) QTest::keyClick(target, Qt::Key_Return);
        else if (c.unicode() < 128) QTest::keyClick(target, c.toLatin1());
        else if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->insert(QString(c));
        else if (auto* box = qobject_cast<QComboBox*>(target)) box->lineEdit()->insert(QString(c));
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(target)) memo->insertPlainText(QString(c));
        else qWarning("cannot insert into %s", target->metaObject()->className());
    }
}

void Press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(widget, key, modifiers);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

bool RunModal(QDialog* dialog, const std::function<bool()>& open, const std::function<void()>& inside) {
    bool ran = false;
    QTimer timer;  // fires only inside the dialog's loop, and dies with this call
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, dialog, [&] {
        ran = true;
        if (inside) inside();
        if (dialog->isVisible()) dialog->reject();
    });
    timer.start(0);
    const bool opened = open();
    return opened && ran;
}

void WhenModal(const char* name, std::function<void(QDialog*)> inside, bool* ran) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto tries = std::make_shared<int>(1000);
    const QString wanted = QLatin1String(name);
    if (ran) *ran = false;
    QObject::connect(timer, &QTimer::timeout, [timer, tries, wanted, inside = std::move(inside), ran] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != wanted) {
            if (--*tries <= 0) timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (ran) *ran = true;
        if (inside) inside(dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    timer->start();
}

bool CloseDialog(QDialog* dialog, const QString& how) {
    QWidget* keyTarget = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    if (how == QLatin1String("Enter")) QTest::keyClick(keyTarget, Qt::Key_Return);
    else if (how == QLatin1String("Esc")) QTest::keyClick(keyTarget, Qt::Key_Escape);
    else if (how == QLatin1String("CloseBox")) dialog->close();
    else if (auto* button = dialog->findChild<QPushButton*>(how)) button->click();
    return !dialog->isVisible();
}

QPoint CentredOnWorkArea(const QSize& outer) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return QPoint(area.width() / 2 - outer.width() / 2, area.height() / 2 - outer.height() / 2);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return file.readAll();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

namespace {
QtMessageHandler PreviousHandler = nullptr;

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.contains(QLatin1String("This plugin does not support"))) return;
    if (PreviousHandler) PreviousHandler(type, context, text);
}
}  // namespace

void QuietOffscreenWarnings() {
    if (PreviousHandler) return;
    PreviousHandler = qInstallMessageHandler(FilterMessages);
}

}  // namespace celtest

// ---- The main window's probe ----

bool& TMainWinProbe::FirstLayout() { return MainWin->FirstLayout; }
int& TMainWinProbe::SavedMainX() { return MainWin->SavedMainX; }
int& TMainWinProbe::SavedMainY() { return MainWin->SavedMainY; }
int& TMainWinProbe::SavedEditorX() { return MainWin->SavedEditorX; }
int& TMainWinProbe::SavedEditorY() { return MainWin->SavedEditorY; }
int& TMainWinProbe::SavedEditorWidth() { return MainWin->SavedEditorWidth; }
int& TMainWinProbe::SavedEditorHeight() { return MainWin->SavedEditorHeight; }
int& TMainWinProbe::SavedOutputX() { return MainWin->SavedOutputX; }
int& TMainWinProbe::SavedOutputY() { return MainWin->SavedOutputY; }
int& TMainWinProbe::SavedOutputWidth() { return MainWin->SavedOutputWidth; }
int& TMainWinProbe::SavedOutputHeight() { return MainWin->SavedOutputHeight; }
int& TMainWinProbe::SavedMemoryX() { return MainWin->SavedMemoryX; }
int& TMainWinProbe::SavedMemoryY() { return MainWin->SavedMemoryY; }
int& TMainWinProbe::SavedMemoryHeight() { return MainWin->SavedMemoryHeight; }
QString TMainWinProbe::RecentPath(int index) { return MainWin->RecentPath[index]; }
void TMainWinProbe::AddRecent(const QString& path) { MainWin->AddRecent(path); }
bool TMainWinProbe::IsRecent(const QString& path) { return MainWin->IsRecent(path); }
bool TMainWinProbe::QuerySaveCurrent() { return MainWin->QuerySaveCurrent(); }
bool TMainWinProbe::OpenFile(const QString& path) { return MainWin->OpenFile(path); }
void TMainWinProbe::AfterOpen() { MainWin->AfterOpen(); }
bool TMainWinProbe::EngineIdle() { return MainWin->EngineIdle(); }
cel::TEngineHost& TMainWinProbe::Host() { return MainWin->Host; }
void TMainWinProbe::TimerTimer() { MainWin->TimerTimer(); }
void TMainWinProbe::LayoutCheckTimer() { MainWin->LayoutCheckTimer(); }
void TMainWinProbe::QuickLayoutChecks() {
    // Without a window manager nothing frames or moves a window late: the arrangement's checks
    // run as they do on a desktop, ten times as often, so that a window set settles in 50 ms.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) MainWin->LayoutCheck.setInterval(5);
}
void TMainWinProbe::ShowRunCounters() { MainWin->ShowRunCounters(); }
