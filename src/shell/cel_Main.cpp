#include "cel_Main.h"

#include "cel_BufferSizeWin.h"
#include "cel_ColorWin.h"
#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_FindWin.h"
#include "cel_Frame.h"
#include "cel_InfoWin.h"
#include "cel_InputFileWin.h"
#include "cel_OutputFileWin.h"
#include "cel_SpeedWin.h"
#include "cel_StripWin.h"
#include "cel_TextGenWin.h"
#include "cel_EditWin.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_SourceText.h"
#include "cel_Version.h"
#include "cel_WaitWin.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QThread>
#include <QToolBar>
#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <cmath>

TMainWin* MainWin = nullptr;

const QString TMainWin::SourceFilter = QStringLiteral(
    "All brainfuck files|*.b;*.bf;*.pb|Classic brainfuck files (*.b, *.bf)|*.b;*.bf|"
    "pbrain files (*.pb)|*.pb|All files|*.*");

namespace {

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// A literal "&" in a menu caption is written "&&".
QString CaptionOf(const QString& path) {
    QString caption = path;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return caption;
}

}  // namespace

// The images live in the windows library; a static library needs its resources pulled in.
static void InitResources() { Q_INIT_RESOURCE(resources); }

TMainWin::TMainWin() {
    InitResources();
    MainWin = this;
    setObjectName(QStringLiteral("MainWin"));
    setWindowTitle(QStringLiteral("Cellwright " CELLWRIGHT_VERSION));
    QApplication::setApplicationDisplayName(QString());
    // A fixed-size window: a close box and minimise, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setWindowIcon(QIcon(QStringLiteral(":/images/cellwright.svg")));

    CreateCommands();
    LoadSettings();
    ApplySwitches();
    UpdateRecentItems();
    Timer.setInterval(2000);
    LayoutCheck.setInterval(50);
    connect(&LayoutCheck, &QTimer::timeout, this, &TMainWin::LayoutCheckTimer);
    connect(&Timer, &QTimer::timeout, this, &TMainWin::TimerTimer);

    // The window shows the menu bar and the toolbar and nothing below them.
    setCentralWidget(new QWidget(this));
    centralWidget()->setFixedHeight(0);
    setFixedWidth(412);
    setFixedHeight(menuBar()->sizeHint().height() + ToolBar->sizeHint().height());

    qApp->installEventFilter(this);
    // Logging out of the desktop: the close sequence runs as for Exit, and a refusal (a running
    // program, Cancel at a save question) cancels the logout.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!EndSession(manager.allowsInteraction())) manager.cancel();
    });
}

TMainWin::~TMainWin() {
    qApp->removeEventFilter(this);
    // No engine may outlive the window: a run still in existence is ended, and its last
    // hand-offs are served until its thread has finished.
    for (cel::TBFInterpreterBase* engine :
         {static_cast<cel::TBFInterpreterBase*>(Interpreter.Engine8.get()),
          static_cast<cel::TBFInterpreterBase*>(Interpreter.Engine16.get())}) {
        if (!engine || (engine->IsSuspended() && !Running() && !engine->IsWaiting())) continue;
        engine->Terminate();
        cel::ServeUntilFinished(*engine);
    }
    MainWin = nullptr;
}

// ---------------------------------------------------------------------------------------------
// The command surface

QAction* TMainWin::AddItem(QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& shortcut, void (TMainWin::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        // The application filter takes these keys; the menu only shows them.
        action->setShortcutContext(Qt::WidgetShortcut);
        ShortcutItems.push_back(action);
    }
    if (handler) connect(action, &QAction::triggered, this, handler);
    return action;
}

QAction* TMainWin::AddButton(const char* name, const char* image, const QString& hint,
                             void (TMainWin::*handler)()) {
    QAction* button =
        ToolBar->addAction(QIcon(QStringLiteral(":/images/%1.svg").arg(QLatin1String(image))), QString());
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    if (handler) connect(button, &QAction::triggered, this, handler);
    return button;
}

void TMainWin::CreateCommands() {
    QMenuBar* bar = menuBar();
    using K = QKeySequence;

    MenuFile = bar->addMenu(QStringLiteral("&File"));
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    MenuNew = AddItem(MenuFile, "MenuNew", "&New", K(Qt::CTRL | Qt::Key_N), &TMainWin::MenuNewClick);
    MenuOpen = AddItem(MenuFile, "MenuOpen", "&Open ...", K(Qt::CTRL | Qt::Key_O), &TMainWin::MenuOpenClick);
    MenuFile->addSeparator();
    MenuClose = AddItem(MenuFile, "MenuClose", "&Close", K(Qt::CTRL | Qt::Key_F4), &TMainWin::MenuCloseClick);
    MenuFile->addSeparator();
    MenuSave = AddItem(MenuFile, "MenuSave", "&Save", K(Qt::CTRL | Qt::Key_S), &TMainWin::MenuSaveClick);
    MenuSaveAs = AddItem(MenuFile, "MenuSaveAs", "Save &As ...", K(Qt::CTRL | Qt::ALT | Qt::Key_S),
                         &TMainWin::MenuSaveAsClick);
    MenuFile->addSeparator();
    for (int i = 0; i < 5; ++i) {
        const QByteArray name = "MenuRecent" + QByteArray::number(i + 1);
        MenuRecent[i] = AddItem(MenuFile, name.constData(), QString(),
                                K(Qt::ALT | (Qt::Key_1 + i)), nullptr);
        connect(MenuRecent[i], &QAction::triggered, this, [this, i] { MenuRecentClick(i); });
        MenuRecent[i]->setVisible(false);
    }
    MenuFile->addSeparator();
    MenuExit = AddItem(MenuFile, "MenuExit", "E&xit", K(Qt::ALT | Qt::Key_F4), &TMainWin::MenuExitClick);

    MenuEdit = bar->addMenu(QStringLiteral("&Edit"));
    MenuEdit->setObjectName(QStringLiteral("MenuEdit"));
    MenuUndo = AddItem(MenuEdit, "MenuUndo", "&Undo", K(Qt::CTRL | Qt::Key_Z), &TMainWin::MenuUndoClick);
    MenuRedo = AddItem(MenuEdit, "MenuRedo", "&Redo", K(Qt::CTRL | Qt::Key_Y), &TMainWin::MenuRedoClick);
    MenuEdit->addSeparator();
    MenuSelectAll = AddItem(MenuEdit, "MenuSelectAll", "Select &All", K(Qt::CTRL | Qt::Key_A),
                            &TMainWin::MenuSelectAllClick);
    MenuEdit->addSeparator();
    MenuCut = AddItem(MenuEdit, "MenuCut", "&Cut", K(Qt::CTRL | Qt::Key_X), &TMainWin::MenuCutClick);
    MenuCopy = AddItem(MenuEdit, "MenuCopy", "C&opy", K(Qt::CTRL | Qt::Key_C), &TMainWin::MenuCopyClick);
    MenuPaste = AddItem(MenuEdit, "MenuPaste", "&Paste", K(Qt::CTRL | Qt::Key_V), &TMainWin::MenuPasteClick);
    MenuEdit->addSeparator();
    MenuFind = AddItem(MenuEdit, "MenuFind", "&Find && Replace ...", K(Qt::CTRL | Qt::Key_F),
                       &TMainWin::MenuFindClick);
    MenuFindAgain = AddItem(MenuEdit, "MenuFindAgain", "Fi&nd Again", K(Qt::Key_F3),
                            &TMainWin::MenuFindAgainClick);
    MenuReplaceAgain = AddItem(MenuEdit, "MenuReplaceAgain", "R&eplace Again", K(Qt::SHIFT | Qt::Key_F3),
                               &TMainWin::MenuReplaceAgainClick);

    MenuView = bar->addMenu(QStringLiteral("&View"));
    MenuView->setObjectName(QStringLiteral("MenuView"));
    MenuWinSize = AddItem(MenuView, "MenuWinSize", "Toggle &Window Size Ratio", K(Qt::Key_F2),
                          &TMainWin::MenuWinSizeClick);
    MenuToggle = AddItem(MenuView, "MenuToggle", "&Toggle between Windows", K(Qt::SHIFT | Qt::Key_F1),
                         &TMainWin::MenuToggleClick);
    MenuView->addSeparator();
    MenuEditor = AddItem(MenuView, "MenuEditor", "Source &Editor", K(Qt::SHIFT | Qt::Key_F10),
                         &TMainWin::MenuEditorClick);
    MenuOutput = AddItem(MenuView, "MenuOutput", "&Output", K(Qt::SHIFT | Qt::Key_F11),
                         &TMainWin::MenuOutputClick);
    MenuMemory = AddItem(MenuView, "MenuMemory", "&Memory", K(Qt::SHIFT | Qt::Key_F12),
                         &TMainWin::MenuMemoryClick);
    MenuView->addSeparator();
    MenuFlat = AddItem(MenuView, "MenuFlat", "Flat &Toolbar", K(), &TMainWin::MenuFlatClick);
    MenuGutter = AddItem(MenuView, "MenuGutter", "Show &Gutter", K(), &TMainWin::MenuGutterClick);
    MenuEdge = AddItem(MenuView, "MenuEdge", "Show 80-Columns-&Edge", K(), &TMainWin::MenuEdgeClick);
    for (QAction* a : {MenuEditor, MenuOutput, MenuMemory, MenuFlat, MenuGutter, MenuEdge}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    MenuRun = bar->addMenu(QStringLiteral("&Run"));
    MenuRun->setObjectName(QStringLiteral("MenuRun"));
    MenuDoRun = AddItem(MenuRun, "MenuDoRun", "&Run", K(Qt::Key_F9), &TMainWin::MenuDoRunClick);
    MenuDebug = AddItem(MenuRun, "MenuDebug", "&Debug", K(Qt::Key_F8), &TMainWin::MenuDebugClick);
    MenuReset = AddItem(MenuRun, "MenuReset", "&Program Reset", K(Qt::CTRL | Qt::Key_F2),
                        &TMainWin::MenuResetClick);
    MenuRun->addSeparator();
    MenuTrace = AddItem(MenuRun, "MenuTrace", "&Trace", K(Qt::Key_F7), &TMainWin::MenuTraceClick);
    MenuRunToCursor = AddItem(MenuRun, "MenuRunToCursor", "Run to &Cursor", K(Qt::Key_F4),
                              &TMainWin::MenuRunToCursorClick);
    MenuRun->addSeparator();
    MenuModifyMemory = AddItem(MenuRun, "MenuModifyMemory", "&Modify Memory at current Position ...",
                               K(Qt::Key_F12), &TMainWin::MenuModifyMemoryClick);
    MenuRun->addSeparator();
    MenuWatch = AddItem(MenuRun, "MenuWatch", "&Watch Program Operation", K(Qt::Key_F11),
                        &TMainWin::MenuWatchClick);
    MenuWatch->setCheckable(true);
    MenuSpeed = AddItem(MenuRun, "MenuSpeed", "&Set Running Speed for Watch ...", K(Qt::CTRL | Qt::Key_F10),
                        &TMainWin::MenuSpeedClick);
    MenuDebug->setEnabled(false);
    MenuReset->setEnabled(false);
    MenuModifyMemory->setEnabled(false);

    MenuInterpreter = bar->addMenu(QStringLiteral("&Interpreter"));
    MenuInterpreter->setObjectName(QStringLiteral("MenuInterpreter"));
    Menu8Bit = AddItem(MenuInterpreter, "Menu8Bit", "Use &8 Bit Mode", K(Qt::CTRL | Qt::Key_8),
                       &TMainWin::Menu8BitClick);
    Menu16Bit = AddItem(MenuInterpreter, "Menu16Bit", "Use 1&6 Bit Mode", K(Qt::CTRL | Qt::Key_9),
                        &TMainWin::Menu16BitClick);
    auto* widthGroup = new QActionGroup(this);
    for (QAction* a : {Menu8Bit, Menu16Bit}) {
        a->setCheckable(true);
        widthGroup->addAction(a);
    }
    Menu8Bit->setChecked(true);
    MenuInterpreter->addSeparator();
    MenuPBrain = AddItem(MenuInterpreter, "MenuPBrain", "Enable &Procedural BF", K(Qt::CTRL | Qt::Key_P),
                         &TMainWin::MenuPBrainClick);
    MenuPBrain->setCheckable(true);
    MenuInterpreter->addSeparator();
    MenuBufferSize = AddItem(MenuInterpreter, "MenuBufferSize", "Set Output &Buffer Size ...",
                             K(Qt::SHIFT | Qt::Key_F2), &TMainWin::MenuBufferSizeClick);
    MenuInterpreter->addSeparator();
    Menu0x0A = AddItem(MenuInterpreter, "Menu0x0A", "Report &LF for Line Breaks when entering Text", K(), nullptr);
    Menu0x0D0A = AddItem(MenuInterpreter, "Menu0x0D0A", "Report &CRLF", K(), nullptr);
    Menu0x0D = AddItem(MenuInterpreter, "Menu0x0D", "Report C&R", K(), nullptr);
    Menu0x0A0D = AddItem(MenuInterpreter, "Menu0x0A0D", "R&eport LFCR", K(), nullptr);
    MenuNoLineBreak = AddItem(MenuInterpreter, "MenuNoLineBreak", "Report &no Line Break", K(), nullptr);
    auto* breakGroup = new QActionGroup(this);
    for (QAction* a : {Menu0x0A, Menu0x0D0A, Menu0x0D, Menu0x0A0D, MenuNoLineBreak}) {
        a->setCheckable(true);
        breakGroup->addAction(a);
    }
    Menu0x0A->setChecked(true);
    MenuInterpreter->addSeparator();
    MenuEnableComments = AddItem(MenuInterpreter, "MenuEnableComments",
                                 "Enable Comment &Markers (; / * ' % #)", K(), nullptr);
    MenuEnableComments->setCheckable(true);
    MenuEnableComments->setChecked(true);

    MenuExtras = bar->addMenu(QStringLiteral("E&xtras"));
    MenuExtras->setObjectName(QStringLiteral("MenuExtras"));
    MenuSetInputFile = AddItem(MenuExtras, "MenuSetInputFile", "Set &Input File ...", K(Qt::Key_F5),
                               &TMainWin::MenuSetInputFileClick);
    MenuSetOutputFile = AddItem(MenuExtras, "MenuSetOutputFile", "Set &Output File ...", K(Qt::Key_F6),
                                &TMainWin::MenuSetOutputFileClick);
    MenuExtras->addSeparator();
    MenuClearOutput = AddItem(MenuExtras, "MenuClearOutput", "Clear O&utput", K(Qt::CTRL | Qt::Key_F12),
                              &TMainWin::MenuClearOutputClick);
    MenuExtras->addSeparator();
    MenuFont = AddItem(MenuExtras, "MenuFont", "&Font ...", K(), &TMainWin::MenuFontClick);
    MenuColors = AddItem(MenuExtras, "MenuColors", "&Colors ...", K(), &TMainWin::MenuColorsClick);
    MenuExtras->addSeparator();
    MenuTextGen = AddItem(MenuExtras, "MenuTextGen", "&Text Generator ...", K(Qt::CTRL | Qt::Key_T),
                          &TMainWin::MenuTextGenClick);
    MenuStrip = AddItem(MenuExtras, "MenuStrip", "&Strip All Non-Brainfuck Symbols ...",
                        K(Qt::ALT | Qt::Key_F12), &TMainWin::MenuStripClick);

    MenuHelp = bar->addMenu(QStringLiteral("&Help"));
    MenuHelp->setObjectName(QStringLiteral("MenuHelp"));
    MenuInfo = AddItem(MenuHelp, "MenuInfo", "&Info ...", K(Qt::Key_F1), &TMainWin::MenuInfoClick);

    MenuMinimize = bar->addAction(QStringLiteral("&Minimize"));
    MenuMinimize->setObjectName(QStringLiteral("MenuMinimize"));
    connect(MenuMinimize, &QAction::triggered, this, &TMainWin::MenuMinimizeClick);

    ToolBar = addToolBar(QStringLiteral("ToolBar"));
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setIconSize(QSize(16, 16));
    BtnNew = AddButton("BtnNew", "new", "New (Ctrl+N)", &TMainWin::MenuNewClick);
    BtnOpen = AddButton("BtnOpen", "open", "Open (Ctrl+O)", &TMainWin::MenuOpenClick);
    BtnSave = AddButton("BtnSave", "save", "Save (Ctrl+S)", &TMainWin::MenuSaveClick);
    ToolBar->addSeparator();
    BtnClose = AddButton("BtnClose", "close", "Close (Ctrl+F4)", &TMainWin::MenuCloseClick);
    ToolBar->addSeparator();
    BtnRun = AddButton("BtnRun", "run", "Run (F9)", &TMainWin::MenuDoRunClick);
    BtnDebug = AddButton("BtnDebug", "debug", "Debug (F8)", &TMainWin::MenuDebugClick);
    BtnReset = AddButton("BtnReset", "reset", "Program Reset (Ctrl+F2)", &TMainWin::MenuResetClick);
    ToolBar->addSeparator();
    BtnTrace = AddButton("BtnTrace", "trace", "Trace (F7)", &TMainWin::MenuTraceClick);
    BtnRunToCursor = AddButton("BtnRunToCursor", "runtocursor", "Run to Cursor (F4)",
                               &TMainWin::MenuRunToCursorClick);
    ToolBar->addSeparator();
    BtnWatch = AddButton("BtnWatch", "watch", "Watch program operation (F11)", &TMainWin::MenuWatchClick);
    BtnWatch->setCheckable(true);
    ToolBar->addSeparator();
    Btn8Bit = AddButton("Btn8Bit", "8bit", "Use 8 Bit Mode (Ctrl+8)", &TMainWin::Menu8BitClick);
    Btn16Bit = AddButton("Btn16Bit", "16bit", "Use 16 Bit Mode (Ctrl+9)", &TMainWin::Menu16BitClick);
    auto* buttonGroup = new QActionGroup(this);
    for (QAction* a : {Btn8Bit, Btn16Bit}) {
        a->setCheckable(true);
        buttonGroup->addAction(a);
    }
    Btn8Bit->setChecked(true);
    ToolBar->addSeparator();
    BtnPBrain = AddButton("BtnPBrain", "pbrain", "Enable Procedural BF (Ctrl+P)", &TMainWin::BtnPBrainClick);
    BtnPBrain->setCheckable(true);
    BtnDebug->setEnabled(false);
    BtnReset->setEnabled(false);
}

bool TMainWin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && !MinimizedWindows.empty() && watched->isWidgetType() &&
        !static_cast<QWidget*>(watched)->isMinimized() &&
        std::find(MinimizedWindows.begin(), MinimizedWindows.end(), watched) != MinimizedWindows.end())
        RestoreApplication();
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        if (HandleShortcut(static_cast<QKeyEvent*>(event))) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainWin::HandleShortcut(QKeyEvent* event) {
    // While a modal dialog shows, its keys are its own.
    if (QApplication::activeModalWidget()) return false;
    if (event->type() == QEvent::KeyPress && ShortcutTaken) {
        // The key press that follows an override that was taken.
        ShortcutTaken = false;
        return true;
    }
    if (event->type() != QEvent::ShortcutOverride) return false;
    const QKeySequence pressed(event->keyCombination());
    for (QAction* item : ShortcutItems) {
        if (item->shortcut() != pressed) continue;
        if (QMenu* menu = qobject_cast<QMenu*>(item->parent()); menu && !menu->isEnabled()) {
            // An item of a disabled menu still takes its key.
        } else if (item->isEnabled() && item->isVisible()) {
            QMetaObject::invokeMethod(item, &QAction::trigger, Qt::QueuedConnection);
        } else if (item->isEnabled() && !item->isVisible() && item->objectName().startsWith(QLatin1String("MenuRecent"))) {
            // A hidden recent entry does nothing, but its key is taken all the same.
        }
        event->accept();
        ShortcutTaken = true;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Window set

void TMainWin::ShowEditor() {
    EditWin->show();
    EditWin->raise();
    EditWin->activateWindow();
    MenuEditor->setChecked(true);
}

void TMainWin::ShowOutput() {
    if (OutputWin->isHidden()) {
        OutputWin->show();
        MenuOutput->setChecked(true);
    }
    InputPending = false;
}

void TMainWin::ShowPendingInput() {
    if (!InputPending) return;
    ShowOutput();
    OutputWin->activateWindow();
    OutputWin->EditLine->setFocus();
}

void TMainWin::MenuWinSizeClick() {
    if (FirstLayout && SavedMainX > -1000000) {
        // Saved positions and sizes are those of the outer frames, as the layout places them.
        LayoutRestored = true;
        LayoutRects[0] = QRect(QPoint(SavedMainX, SavedMainY), cel::OuterSize(this));
        LayoutRects[1] = QRect(SavedEditorX, SavedEditorY, SavedEditorWidth, SavedEditorHeight);
        LayoutRects[2] = QRect(SavedOutputX, SavedOutputY, SavedOutputWidth, SavedOutputHeight);
        LayoutRects[3] = QRect(SavedMemoryX, SavedMemoryY, MemoryOuterWidth, SavedMemoryHeight);
    } else {
        LayoutRestored = false;
        LayoutFactor = SizeToggle ? 0.33f : 0.66f;
        SizeToggle = !SizeToggle;
        ComputeLayout();
    }
    ApplyLayout();
    FirstLayout = false;
    // A window manager frames the windows only once they are shown; the layout is placed again
    // when their frames turn out other than assumed.
    LayoutChecks = 0;
    LayoutCheck.start();
}

void TMainWin::ComputeLayout() {
    const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize main = cel::OuterSize(this);
    LayoutRects[0] = QRect(QPoint(work.width() / 2 - main.width() / 2, work.top()), main);
    const int editorTop = work.top() + main.height();
    const int editorWidth = work.width() - MemoryOuterWidth;
    // Rounded to the nearest integer, halves to even.
    const int editorHeight =
        static_cast<int>(std::nearbyint(static_cast<float>(work.height() - editorTop) * LayoutFactor));
    const int outputHeight = work.height() - main.height() - editorHeight;
    LayoutRects[1] = QRect(work.left(), editorTop, editorWidth, editorHeight);
    LayoutRects[2] = QRect(work.left(), editorTop + editorHeight, editorWidth, outputHeight);
    LayoutRects[3] = QRect(work.left() + editorWidth, editorTop, MemoryOuterWidth, editorHeight + outputHeight);
}

void TMainWin::ApplyLayout() {
    QWidget* windows[4] = {this, EditWin, OutputWin, MemoryWin};
    for (int i = 0; i < 4; ++i) {
        QWidget* window = windows[i];
        if (!window) continue;
        LayoutMargins[i] = cel::FrameMargins(window);
        if (i == 0) {
            cel::MoveOuter(window, LayoutRects[0].topLeft());
            continue;
        }
        if (window == MemoryWin) {
            // The memory window's outer width is fixed; its client is what the frame leaves.
            const int client = MemoryOuterWidth - LayoutMargins[i].left() - LayoutMargins[i].right();
            window->setFixedWidth(client);
        }
        cel::SetOuterGeometry(window, LayoutRects[i]);
    }
}

void TMainWin::LayoutCheckTimer() {
    QWidget* windows[4] = {this, EditWin, OutputWin, MemoryWin};
    bool settled = true;
    bool framesChanged = false;
    bool misplaced = false;
    for (int i = 0; i < 4; ++i) {
        if (!windows[i] || !windows[i]->isVisible()) continue;
        if (!cel::FrameKnown(windows[i])) {
            settled = false;
            continue;
        }
        if (cel::FrameMargins(windows[i]) != LayoutMargins[i]) framesChanged = true;
        const QRect outer = cel::OuterGeometry(windows[i]);
        if (i == 0 ? outer.topLeft() != LayoutRects[0].topLeft() : outer != LayoutRects[i]) misplaced = true;
    }
    if (framesChanged || misplaced) {
        // The main window's outer height enters the computed layout; a restored one is placed
        // as it was saved.
        if (!LayoutRestored) ComputeLayout();
        else LayoutRects[0].setSize(cel::OuterSize(this));
        ApplyLayout();
        settled = false;
    }
    // Without a window manager no frame ever appears; the check gives up after a while, long
    // enough for a window manager on a busy machine to frame the windows.
    if (settled || ++LayoutChecks >= 200) LayoutCheck.stop();
}

void TMainWin::MenuToggleClick() {
    QWidget* current = nullptr;
    QWidget* active = QApplication::activeWindow();
    if (active == EditWin || active == OutputWin || active == MemoryWin) current = active;
    else current = ActiveWorkWindow;
    QWidget* first;
    QWidget* second;
    if (current == EditWin) {
        first = OutputWin;
        second = MemoryWin;
    } else if (current == OutputWin) {
        first = MemoryWin;
        second = EditWin;
    } else {
        first = EditWin;
        second = OutputWin;
    }
    QWidget* target = first->isVisible() ? first : second->isVisible() ? second : nullptr;
    LastToggleTarget = target;
    if (!target) return;
    target->raise();
    target->activateWindow();
    target->setFocus();
}

void TMainWin::MenuEditorClick() {
    EditWin->setVisible(!EditWin->isVisible());
    MenuEditor->setChecked(EditWin->isVisible());
}

void TMainWin::MenuOutputClick() {
    if (OutputWin->isVisible()) OutputWin->close();
    else OutputWin->show();
    MenuOutput->setChecked(OutputWin->isVisible());
}

void TMainWin::MenuMemoryClick() {
    if (MemoryWin->isVisible()) MemoryWin->close();
    else MemoryWin->show();
    MenuMemory->setChecked(MemoryWin->isVisible());
}

void TMainWin::MenuFlatClick() {
    // Qt's toolbar buttons are flat by nature; the raised look draws a frame around them.
    // A style sheet replaces the style's drawing of every state, so the checked state (8 bit,
    // 16 bit, Watch, Procedural) is drawn explicitly: sunken, on a darker face.
    ToolBar->setStyleSheet(MenuFlat->isChecked()
                               ? QString()
                               : QStringLiteral("QToolButton { border: 1px outset gray; padding: 1px; }"
                                                "QToolButton:checked, QToolButton:pressed { border: 1px inset gray; "
                                                "background-color: palette(mid); }"));
}

void TMainWin::MenuGutterClick() { EditWin->SetGutterVisible(MenuGutter->isChecked()); }

void TMainWin::MenuEdgeClick() { EditWin->SetRightEdge(80 - EditWin->RightEdge()); }

void TMainWin::MenuMinimizeClick() {
    // The whole application goes; restoring any of its windows brings all of them back.
    MinimizedWindows.clear();
    for (QWidget* w : {static_cast<QWidget*>(EditWin), static_cast<QWidget*>(OutputWin),
                       static_cast<QWidget*>(MemoryWin)})
        if (w && w->isVisible() && !w->isMinimized()) MinimizedWindows.push_back(w);
    for (QWidget* w : MinimizedWindows) w->showMinimized();
    showMinimized();
}

void TMainWin::RestoreApplication() {
    if (MinimizedWindows.empty()) return;
    const std::vector<QPointer<QWidget>> windows = std::move(MinimizedWindows);
    MinimizedWindows.clear();
    if (isMinimized()) showNormal();
    for (QWidget* w : windows)
        if (w && w->isMinimized()) w->showNormal();
}

void TMainWin::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) RestoreApplication();
}

void TMainWin::wheelEvent(QWheelEvent* event) {
    if (MemoryWin && MemoryWin->isVisible()) MemoryWin->ForwardWheel(event);
}

// ---------------------------------------------------------------------------------------------
// Run commands

bool TMainWin::EngineIdle() {
    if (!Interpreter.Engine8 && !Interpreter.Engine16) return true;
    for (cel::TBFInterpreterBase* engine :
         {static_cast<cel::TBFInterpreterBase*>(Interpreter.Engine8.get()),
          static_cast<cel::TBFInterpreterBase*>(Interpreter.Engine16.get())}) {
        if (!engine) continue;
        // An engine that has not been started, or that is about to finish, is waited for here
        // while its last hand-offs are served; a running program is never waited for.
        if (engine->IsSuspended() && !Running()) continue;
        if (!cel::ServeUntilFinished(*engine, [this] { return Running(); })) return false;
    }
    return true;
}

void TMainWin::PrepareRun() {
    LastInstructionCount = 0;
    StartTime = QDateTime::currentMSecsSinceEpoch();
}

void TMainWin::SetRunningCommands() {
    for (QAction* a : {MenuDoRun, MenuTrace, MenuRunToCursor, MenuModifyMemory, BtnRun, BtnTrace, BtnRunToCursor})
        a->setEnabled(false);
    MenuDebug->setEnabled(true);
    BtnDebug->setEnabled(true);
}

void TMainWin::StartEngine() {
    StartingRun = true;
    WaitWin->exec();
    StartingRun = false;
}

void TMainWin::StartOrContinueRun() {
    if (Running()) {
        SetRunningCommands();
        Interpreter.Continue();
        return;
    }
    if (!EngineIdle()) return;
    ShowOutput();
    PrepareRun();
    Interpreter.Prepare(!Menu8Bit->isChecked(), cel::TBFInterpreter::TStart::Run);
    StartEngine();
}

void TMainWin::ClearRunCounters() {
    EditWin->SetPanel(3, QString());
    EditWin->SetPanel(4, QString());
}

void TMainWin::MenuDoRunClick() {
    if (StartingRun || Resetting) return;
    QThread::msleep(20);
    ClearRunCounters();
    StartOrContinueRun();
    MemoryWin->setCursor(Qt::ArrowCursor);
    MemoryWin->RedrawMemory(false);
}

void TMainWin::MenuTraceClick() {
    if (StartingRun || Resetting) return;
    if (!Running()) {
        if (!EngineIdle()) return;
        ShowOutput();
        PrepareRun();
        Interpreter.Prepare(!Menu8Bit->isChecked(), cel::TBFInterpreter::TStart::Trace);
        StartEngine();
    } else {
        Interpreter.Step();
    }
}

void TMainWin::MenuDebugClick() {
    if (Running()) Interpreter.Pause();
}

void TMainWin::MenuRunToCursorClick() {
    if (StartingRun || Resetting) return;
    const bool running = Running();
    if (!running && !EngineIdle()) return;
    SetRunningCommands();
    MemoryWin->setCursor(Qt::ArrowCursor);
    const auto target = static_cast<uint32_t>(EditWin->SelStart());
    if (running) {
        Interpreter.RunToCursor(target);
        return;
    }
    ShowOutput();
    PrepareRun();
    Interpreter.Prepare(!Menu8Bit->isChecked(), cel::TBFInterpreter::TStart::RunToCursor, target);
    StartEngine();
}

void TMainWin::MenuResetClick() {
    if (!Running() || Resetting) return;
    Interpreter.Reset();
    // The program ends at once (at full speed, at the engine's next check). Its last hand-offs
    // are served here, so that a Run given right after the reset finds no program in existence
    // and starts a new one instead of "continuing" the one that is on its way out.
    Resetting = true;
    cel::ServeUntilFinished(Interpreter.Engine());
    Resetting = false;
}

void TMainWin::MenuWatchClick() {
    // The item and the button are check items that toggle themselves before their handler
    // runs; any other caller inverts the item's state.
    bool on = !MenuWatch->isChecked();
    if (sender() == MenuWatch) on = MenuWatch->isChecked();
    else if (sender() == BtnWatch) on = BtnWatch->isChecked();
    MenuWatch->setChecked(on);
    BtnWatch->setChecked(on);
    if (Running() && Interpreter.SwitchWatch(on)) EditWin->SetSelection(EditWin->SelStart(), 0);
}

void TMainWin::MenuModifyMemoryClick() {
    if (!Running() || !Paused()) return;
    MemoryWin->ModifyCell(static_cast<int>(Interpreter.GetDataPtr()));
}

void TMainWin::Menu8BitClick() {
    Btn8Bit->setChecked(true);
    Menu8Bit->setChecked(true);
}

void TMainWin::Menu16BitClick() {
    Btn16Bit->setChecked(true);
    Menu16Bit->setChecked(true);
}

void TMainWin::MenuPBrainClick() { BtnPBrain->setChecked(MenuPBrain->isChecked()); }

void TMainWin::BtnPBrainClick() { MenuPBrain->setChecked(BtnPBrain->isChecked()); }

void TMainWin::MenuClearOutputClick() {
    OutputWin->Clear();
    if (Running()) Interpreter.SetOutputLine(0);
}

void TMainWin::TimerTimer() {
    if (!Interpreter.HasEngine()) return;
    const int64_t c = static_cast<int64_t>(Interpreter.GetExecuted());
    const int64_t rate = (c - LastInstructionCount) / 2;
    const QLocale locale;
    EditWin->SetPanel(2, locale.toString(static_cast<qlonglong>(rate)) + QStringLiteral(" ips"));
    LastInstructionCount = static_cast<int64_t>(Interpreter.GetExecuted());
    ShowRunCounters();
}

void TMainWin::ShowRunCounters() {
    if (!Interpreter.HasEngine()) return;
    const QLocale locale;
    EditWin->SetPanel(3, locale.toString(static_cast<qulonglong>(Interpreter.GetExecuted())) +
                             QStringLiteral(" i"));
    const double seconds =
        static_cast<double>(std::llabs(QDateTime::currentMSecsSinceEpoch() - StartTime)) / 1000.0;
    EditWin->SetPanel(4, locale.toString(seconds, 'f', 3) + QStringLiteral(" s"));
}

QByteArray TMainWin::LineBreakReport() const {
    if (Menu0x0D0A->isChecked()) return QByteArray("\r\n");
    if (Menu0x0D->isChecked()) return QByteArray("\r");
    if (Menu0x0A0D->isChecked()) return QByteArray("\n\r");
    if (MenuNoLineBreak->isChecked()) return QByteArray();
    return QByteArray("\n");
}

// The enabling changes announced by the engine.

void TMainWin::PresentRunning(bool stepMode) {
    EditWin->SetReadOnly(true);
    for (QAction* a : {MenuNew, MenuOpen, MenuClose, MenuEnableComments, Menu8Bit, Menu16Bit, Btn8Bit,
                       Btn16Bit, MenuPBrain, BtnPBrain, MenuSetInputFile, MenuSetOutputFile, MenuColors,
                       MenuBufferSize, BtnNew, BtnOpen, BtnClose})
        a->setEnabled(false);
    MenuEdit->setEnabled(false);
    for (QAction* a : MenuRecent) a->setEnabled(false);
    MenuReset->setEnabled(true);
    BtnReset->setEnabled(true);
    if (!stepMode) SetRunningCommands();
}

void TMainWin::PresentPaused() {
    for (QAction* a : {MenuDoRun, MenuTrace, MenuRunToCursor, BtnRun, BtnTrace, BtnRunToCursor})
        a->setEnabled(true);
    MenuDebug->setEnabled(false);
    BtnDebug->setEnabled(false);
    MenuModifyMemory->setEnabled(!MenuSetInputFile->isEnabled());
    MemoryWin->setCursor(Qt::PointingHandCursor);
    // The count and time of this pause, not those of the last status tick or an earlier run.
    ShowRunCounters();
}

void TMainWin::PresentReady() {
    EditWin->SetReadOnly(false);
    for (QAction* a : {MenuNew, MenuOpen, MenuClose, MenuEnableComments, Menu8Bit, Menu16Bit, Btn8Bit,
                       Btn16Bit, MenuPBrain, BtnPBrain, MenuSetInputFile, MenuSetOutputFile, MenuColors,
                       MenuBufferSize, BtnNew, BtnOpen, BtnClose})
        a->setEnabled(true);
    MenuEdit->setEnabled(true);
    for (QAction* a : {MenuDoRun, MenuTrace, MenuRunToCursor, BtnRun, BtnTrace, BtnRunToCursor})
        a->setEnabled(true);
    MenuDebug->setEnabled(false);
    BtnDebug->setEnabled(false);
    MenuModifyMemory->setEnabled(false);
    MenuReset->setEnabled(false);
    BtnReset->setEnabled(false);
    for (QAction* a : MenuRecent) a->setEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Edit commands: the target is the last activated work window

void TMainWin::MenuUndoClick() { EditWin->Editor->undo(); }
void TMainWin::MenuRedoClick() { EditWin->Editor->redo(); }

void TMainWin::MenuSelectAllClick() {
    if (ActiveWorkWindow == EditWin) EditWin->Editor->selectAll();
    else if (ActiveWorkWindow == OutputWin) OutputWin->Output->selectAll();
}

void TMainWin::MenuCutClick() {
    if (ActiveWorkWindow == EditWin) EditWin->Editor->cut();
    else if (ActiveWorkWindow == OutputWin) OutputWin->Output->copy();
}

void TMainWin::MenuCopyClick() {
    if (ActiveWorkWindow == EditWin) EditWin->Editor->copy();
    else if (ActiveWorkWindow == OutputWin) OutputWin->Output->copy();
}

void TMainWin::MenuPasteClick() {
    if (ActiveWorkWindow == EditWin) EditWin->Editor->paste();
}

void TMainWin::MenuFindClick() { FindWin->Ask(); }

void TMainWin::MenuFindAgainClick() {
    FindWin->FindAgain();
}

void TMainWin::MenuReplaceAgainClick() {
    FindWin->ReplaceAgain();
}

void TMainWin::MenuSpeedClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog | TModalScope::PendingInput);
    // A watched run reads the delay at its next step.
    if (const auto delay = SpeedWin->Ask(WatchDelay)) WatchDelay = *delay;
}

void TMainWin::MenuBufferSizeClick() {
    if (const auto size = BufferSizeWin->Ask(OutputBufferSize)) OutputBufferSize = *size;
}

void TMainWin::MenuSetInputFileClick() {
    // The name is taken as typed: empty switches file input off.
    if (const auto name = InputFileWin->Ask(InputFileName)) InputFileName = *name;
}

void TMainWin::MenuSetOutputFileClick() {
    if (const auto name = OutputFileWin->Ask(OutputFileName)) OutputFileName = *name;
}

void TMainWin::MenuColorsClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog);
    MemoryWin->ColorPreview = true;
    // Any end but Ok puts the stored colours back everywhere.
    const auto colors = ColorWin->Ask({TextColor, BackgroundColor});
    MemoryWin->ColorPreview = false;
    if (colors) {
        TextColor = colors->Text;
        BackgroundColor = colors->Back;
    }
}

void TMainWin::MenuTextGenClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog);
    TextGenWin->exec();
}

void TMainWin::MenuStripClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog);
    StripWin->SaveFilter = SourceFilter;
    StripWin->exec();
}

void TMainWin::MenuInfoClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog | TModalScope::PendingInput);
    InfoWin->exec();
}

void TMainWin::MenuFontClick() {
    QFont font = EditWin->Editor->font();
    if (!cel::Dialogs().ChooseFont(this, font)) return;
    EditWin->SetEditorFont(font.family(), font.pointSize());
    OutputWin->SetOutputFont(font.family(), font.pointSize());
}

// ---------------------------------------------------------------------------------------------
// Documents

TContent* TMainWin::CurrentDocument() const {
    const int index = EditWin->Tabs->currentIndex();
    if (index < 0 || index >= static_cast<int>(Documents.size())) return nullptr;
    return Documents[static_cast<size_t>(index)].get();
}

void TMainWin::MenuNewClick() {
    EditWin->NewDocument();
    ShowEditor();
    MenuClearOutputClick();
}

void TMainWin::MenuOpenClick() {
    const QStringList files = cel::Dialogs().OpenFileNames(this, QStringLiteral("Open File"),
                                                           QDir::currentPath(), SourceFilter, true);
    OpenFiles(files);
}

void TMainWin::OpenFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    for (const QString& path : paths) OpenFile(path);
    AfterOpen();
}

bool TMainWin::OpenFile(const QString& path) {
    // The path is used as it is: an "&" is a real character of a file name.
    bool failed = false;
    if (!QFileInfo::exists(path)) {
        cel::ShowInformation(this, QStringLiteral("The file ") + Quoted(path) + QStringLiteral(" does not exist."));
    } else {
        QFile file(path);
        QByteArray bytes;
        if (!file.open(QIODevice::ReadOnly)) failed = true;
        else {
            bytes = file.readAll();
            if (file.error() != QFile::NoError) failed = true;
        }
        if (!failed) {
            const std::string text = cel::SourceTextFromBytes(cel::BytesView(bytes));
            TContent* current = CurrentDocument();
            if (!current || !current->FileName.isEmpty() || current->Modified || !current->Lines.isEmpty() ||
                !EditWin->Text().isEmpty()) {
                EditWin->TabsChanging();
                auto document = std::make_unique<TContent>();
                document->FileName = path;
                TContent* raw = document.get();
                Documents.push_back(std::move(document));
                EditWin->AppendTab(raw);
            }
            TContent* target = CurrentDocument();
            target->Lines = QByteArray::fromStdString(text);
            EditWin->SetText(target->Lines);
            target->Modified = false;
            target->FileName = path;
            EditWin->NameTab(path, EditWin->Tabs->currentIndex());
            EditWin->UpdateCaption();
            AddRecent(path);
            // The text ends at a NUL byte; what follows it is not in the editor, and saving the
            // document would drop it from the file. The user is told rather than left to find out.
            const qsizetype nul = bytes.indexOf('\0');
            if (nul >= 0)
                cel::ShowInformation(this, QStringLiteral("The file ") + Quoted(path) +
                                               QStringLiteral(" contains a NUL byte at offset %1. Only the text "
                                                              "before it was loaded; saving the file would remove "
                                                              "the rest (%2 bytes).")
                                                   .arg(nul)
                                                   .arg(bytes.size() - nul));
        } else {
            cel::ShowInformation(this, QStringLiteral("The file ") + Quoted(path) +
                                           QStringLiteral(" could not be opened.\n\nMaybe you're using an old version "
                                                          "of Windows (Windows 95/98/ME do not allow files >64KB), or "
                                                          "you don't have access rights for that file."));
        }
    }
    const QString dir = QFileInfo(path).absolutePath();
    if (!dir.isEmpty()) QDir::setCurrent(dir);
    if (!failed) MenuClearOutputClick();
    return !failed;
}

void TMainWin::AfterOpen() {
    InputFileName.clear();
    OutputFileName.clear();
    ShowEditor();
    EditWin->UpdateStatus();
    ClearRunCounters();
}

bool TMainWin::IsRecent(const QString& path) const {
    for (const QString& recent : RecentPath)
        if (!recent.isEmpty() && recent == path) return true;
    return false;
}

void TMainWin::AddRecent(const QString& path) {
    if (IsRecent(path)) return;
    for (int i = 4; i > 0; --i) {
        RecentPath[i] = RecentPath[i - 1];
        RecentBytes[i] = RecentBytes[i - 1];
    }
    RecentPath[0] = path;
    RecentBytes[0] = QFile::encodeName(path);
    UpdateRecentItems();
}

void TMainWin::UpdateRecentItems() {
    for (int i = 0; i < 5; ++i) {
        MenuRecent[i]->setText(CaptionOf(RecentPath[i]));
        MenuRecent[i]->setVisible(!RecentPath[i].isEmpty());
    }
}

void TMainWin::MenuRecentClick(int index) {
    if (!MenuRecent[index]->isVisible()) return;
    const QString path = RecentPath[index];
    if (OpenFile(path)) AfterOpen();
    if (index > 0) {
        std::swap(RecentPath[index], RecentPath[0]);
        std::swap(RecentBytes[index], RecentBytes[0]);
        UpdateRecentItems();
    }
}

void TMainWin::MenuCloseClick() {
    if (!QuerySaveCurrent()) return;
    const int n = static_cast<int>(Documents.size());
    const int i = EditWin->Tabs->currentIndex();
    if (n >= 2) {
        const int next = i == n - 1 ? i - 1 : i;
        Documents.erase(Documents.begin() + i);
        EditWin->RemoveTab(i, next);
        EditWin->TabsChange();
        return;
    }
    TContent* d = CurrentDocument();
    if (!d->Lines.isEmpty() || d->Modified || !d->FileName.isEmpty() || !EditWin->Text().isEmpty()) {
        d->Lines.clear();
        EditWin->SetText(QByteArray());
        d->Modified = false;
        d->FileName.clear();
        EditWin->NameTab(QString(), i);
        EditWin->UpdateCaption();
        OutputWin->Clear();
    }
}

bool TMainWin::QuerySaveCurrent() {
    TContent* d = CurrentDocument();
    if (!d || !d->Modified) return true;
    const QPointer<QWidget> focus = QApplication::focusWidget();
    cel::TDialogs::TAnswer answer;
    {
        const TModalScope scope(TModalScope::Dialog);
        answer = cel::Dialogs().Message(EditWin, cel::TDialogs::TKind::Warning,
                                        Quoted(EditWin->TabCaption(EditWin->Tabs->currentIndex())) +
                                            QStringLiteral(" has changed. Do you want to save?"),
                                        cel::TDialogs::ButtonYes | cel::TDialogs::ButtonNo | cel::TDialogs::ButtonCancel);
    }
    // What the user types next goes where it went before the question.
    if (focus && focus->isVisible()) {
        focus->window()->activateWindow();
        focus->setFocus();
    }
    if (answer == cel::TDialogs::TAnswer::Yes) return SaveCurrent();
    return answer == cel::TDialogs::TAnswer::No;
}

bool TMainWin::QuerySaveAll() {
    const int n = static_cast<int>(Documents.size());
    for (int i = 0; i < n; ++i) {
        EditWin->TabsChanging();
        EditWin->Tabs->setCurrentIndex(i);
        EditWin->TabsChange();
        if (!QuerySaveCurrent()) return false;
    }
    return true;
}

void TMainWin::MenuSaveClick() { SaveCurrent(); }

bool TMainWin::SaveCurrent() {
    TContent* d = CurrentDocument();
    if (d->FileName.isEmpty()) return SaveCurrentAs();
    if (WriteEditorToFile(d->FileName)) {
        d->Modified = false;
        return true;
    }
    const TModalScope scope(TModalScope::Dialog);
    cel::ShowError(EditWin, QStringLiteral("The file ") + Quoted(EditWin->TabCaption(EditWin->Tabs->currentIndex())) +
                                QStringLiteral(" could NOT be saved.\n\nDo you have the necessary rights to write "
                                               "to that file?"));
    return false;
}

bool TMainWin::SaveCurrentAs() {
    TContent* d = CurrentDocument();
    const TModalScope scope(TModalScope::Dialog);
    bool result = false;
    QString dir = d->FileName.isEmpty() ? QDir::currentPath() : QFileInfo(d->FileName).absolutePath();
    for (;;) {
        const QString path =
            cel::Dialogs().SaveFileName(this, QStringLiteral("Save File"), dir, SourceFilter, QStringLiteral("b"));
        if (path.isEmpty()) break;
        if (WriteEditorToFile(path)) {
            d->FileName = path;
            EditWin->NameTab(path, EditWin->Tabs->currentIndex());
            d->Modified = false;
            EditWin->UpdateCaption();
            result = true;
            break;
        }
        const auto answer = cel::Dialogs().Message(
            this, cel::TDialogs::TKind::Error,
            QStringLiteral("The save operation failed. Do you want to choose another file for saving?"),
            cel::TDialogs::ButtonYes | cel::TDialogs::ButtonNo);
        if (answer != cel::TDialogs::TAnswer::Yes) break;
        // The dialog opens again where the user was, on the name that failed.
        dir = path;
    }
    return result;
}

void TMainWin::MenuSaveAsClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::PendingInput);
    SaveCurrentAs();
}

bool TMainWin::WriteEditorToFile(const QString& path) {
    // The old file is replaced only once the whole text has been written.
    return cel::ReplaceFileContents(path, EditWin->Text());
}

// ---------------------------------------------------------------------------------------------
// Modal dialogs

TModalScope::TModalScope(int what)
    : What(what), OldModal(MainWin->ModalOpen), OldDialog(MemoryWin->DialogOpen) {
    if (What & Modal) MainWin->ModalOpen = true;
    if (What & Dialog) MemoryWin->DialogOpen = true;
}

TModalScope::~TModalScope() {
    MainWin->ModalOpen = OldModal;
    MemoryWin->DialogOpen = OldDialog;
    if (What & PendingInput) MainWin->ShowPendingInput();
}

// ---------------------------------------------------------------------------------------------
// Closing

void TMainWin::MenuExitClick() { close(); }

bool TMainWin::FormCloseQuery() {
    if (Running() || !EngineIdle()) {
        const TModalScope scope(TModalScope::Modal | TModalScope::PendingInput);
        cel::ShowInformation(this, QStringLiteral("You cannot exit while running a program. Please stop the program first."));
        return false;
    }
    return QuerySaveAll();
}

bool TMainWin::EndSession(bool mayAsk) {
    if (SessionEnded) return true;
    // Without leave to ask, nothing can be offered for saving; the settings are written all the same.
    if (mayAsk && !FormCloseQuery()) return false;
    FormClose();
    SessionEnded = true;
    return true;
}

void TMainWin::closeEvent(QCloseEvent* event) {
    // The desktop session that is ending has had its questions answered already.
    if (SessionEnded) {
        event->accept();
        QCoreApplication::exit(0);
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
    // exit(), not quit(): quit() first asks every window to close, and the work windows refuse
    // (closing one only hides it), which would cancel the end of the application.
    QCoreApplication::exit(0);
}

// ---------------------------------------------------------------------------------------------
// Settings

namespace {
const QString KeyProgram = QStringLiteral("Program");
const QString KeyEditor = QStringLiteral("Editor");
const QString KeyInterpreter = QStringLiteral("Interpreter");
const QString KeyRecent = QStringLiteral("Recent");
const QString Version = QStringLiteral(CELLWRIGHT_VERSION);
}  // namespace

void TMainWin::LoadSettings() {
    Settings = std::make_unique<cel::TSettings>();
    if (!Settings->Load(cel::SettingsPath())) {
        Settings.reset();
        cel::ShowError(this, QStringLiteral("An error occurred while reading cellwr.ini."));
        return;
    }
    const cel::TIniFile& ini = Settings->Ini;
    // A file of another version is left exactly as it is: it is neither used nor written.
    if (Settings->Existed && ini.ReadString(KeyProgram, QStringLiteral("version"), QString()) != Version) {
        Settings.reset();
        cel::ShowInformation(this, QStringLiteral("The cellwr.ini file cannot be used. Version mismatch."));
        return;
    }
    const auto geometry = [&](const char* key, int defaultValue) {
        return ini.ReadInteger(KeyProgram, QLatin1String(key), defaultValue);
    };
    SavedMainX = geometry("main_x", -1000000);
    SavedMainY = geometry("main_y", 0);
    SavedEditorX = geometry("editor_x", 0);
    SavedEditorY = geometry("editor_y", 0);
    SavedEditorWidth = geometry("editor_width", 0);
    SavedEditorHeight = geometry("editor_height", 0);
    SavedOutputX = geometry("output_x", 0);
    SavedOutputY = geometry("output_y", 0);
    SavedOutputWidth = geometry("output_width", 0);
    SavedOutputHeight = geometry("output_height", 0);
    SavedMemoryX = geometry("memory_x", 0);
    SavedMemoryY = geometry("memory_y", 0);
    SavedMemoryHeight = geometry("memory_height", 0);
    SizeToggle = ini.ReadBool(KeyProgram, QStringLiteral("size_toggle"), false);
    MenuFlat->setChecked(ini.ReadBool(KeyProgram, QStringLiteral("flat"), true));
    TextColor = static_cast<uint32_t>(ini.ReadInteger(KeyEditor, QStringLiteral("textcolor"), 0xFFFFFF)) & 0xFFFFFF;
    BackgroundColor = static_cast<uint32_t>(ini.ReadInteger(KeyEditor, QStringLiteral("bgcolor"), 0)) & 0xFFFFFF;
    MenuGutter->setChecked(ini.ReadBool(KeyEditor, QStringLiteral("gutter"), true));
    MenuEdge->setChecked(ini.ReadBool(KeyEditor, QStringLiteral("edge"), true));
    MenuFlatClick();
    MenuPBrain->setChecked(ini.ReadBool(KeyInterpreter, QStringLiteral("pbrain"), false));
    OutputBufferSize = std::clamp(ini.ReadInteger(KeyInterpreter, QStringLiteral("outputbuffersize"), 128), 1, 255);
    if (ini.ReadBool(KeyInterpreter, QStringLiteral("8bit"), true)) Menu8Bit->setChecked(true);
    else Menu16Bit->setChecked(true);
    WatchDelay = ini.ReadInteger(KeyInterpreter, QStringLiteral("executionspeed"), 20);
    if (WatchDelay < 0 || WatchDelay > 1000) WatchDelay = 20;
    MenuEnableComments->setChecked(ini.ReadBool(KeyInterpreter, QStringLiteral("enablecomments"), true));
    for (int i = 0; i < 5; ++i) {
        RecentBytes[i] = ini.ReadBytes(KeyRecent, QString::number(i + 1));
        RecentPath[i] = QFile::decodeName(RecentBytes[i]);
    }
}

void TMainWin::ApplySwitches() {
    Btn8Bit->setChecked(Menu8Bit->isChecked());
    Btn16Bit->setChecked(!Menu8Bit->isChecked());
    Menu16Bit->setChecked(!Menu8Bit->isChecked());
    BtnPBrain->setChecked(MenuPBrain->isChecked());
}

void TMainWin::FormClose() {
    if (!Settings) return;
    cel::TIniFile& ini = Settings->Ini;
    ini.WriteString(KeyProgram, QStringLiteral("version"), Version);
    ini.WriteBool(KeyProgram, QStringLiteral("flat"), MenuFlat->isChecked());
    const auto geometry = [&](const QByteArray& key, int value) {
        ini.WriteInteger(KeyProgram, QString::fromLatin1(key), value);
    };
    // The outer frames, as the layout places them.
    const auto frame = [&](const char* name, const QWidget* window, bool size) {
        const QRect outer = cel::OuterGeometry(window);
        const QByteArray key(name);
        geometry(key + "_x", outer.x());
        geometry(key + "_y", outer.y());
        if (size) geometry(key + "_width", outer.width());
        if (window != this) geometry(key + "_height", outer.height());
    };
    frame("main", this, false);
    frame("editor", EditWin, true);
    frame("output", OutputWin, true);
    frame("memory", MemoryWin, false);
    ini.WriteBool(KeyProgram, QStringLiteral("size_toggle"), SizeToggle);
    ini.WriteInteger(KeyEditor, QStringLiteral("textcolor"), static_cast<int32_t>(TextColor));
    ini.WriteInteger(KeyEditor, QStringLiteral("bgcolor"), static_cast<int32_t>(BackgroundColor));
    const QFont font = EditWin->Editor->font();
    ini.WriteInteger(KeyEditor, QStringLiteral("fontsize"), font.pointSize());
    ini.WriteString(KeyEditor, QStringLiteral("fontname"), font.family());
    ini.WriteBool(KeyEditor, QStringLiteral("gutter"), MenuGutter->isChecked());
    ini.WriteBool(KeyEditor, QStringLiteral("edge"), MenuEdge->isChecked());
    ini.WriteBool(KeyInterpreter, QStringLiteral("8bit"), Btn8Bit->isChecked());
    ini.WriteBool(KeyInterpreter, QStringLiteral("pbrain"), MenuPBrain->isChecked());
    ini.WriteInteger(KeyInterpreter, QStringLiteral("outputbuffersize"), OutputBufferSize);
    ini.WriteInteger(KeyInterpreter, QStringLiteral("executionspeed"), WatchDelay);
    ini.WriteBool(KeyInterpreter, QStringLiteral("enablecomments"), MenuEnableComments->isChecked());
    // A path whose bytes are no valid text for Qt is written back with the bytes it was read with.
    for (int i = 0; i < 5; ++i) {
        const bool same = QFile::decodeName(RecentBytes[i]) == RecentPath[i];
        ini.WriteBytes(KeyRecent, QString::number(i + 1), same ? RecentBytes[i] : QFile::encodeName(RecentPath[i]));
    }
    if (!Settings->Save())
        cel::ShowInformation(this, QStringLiteral("Could not write cellwr.ini. Possibly the file is protected."));
}
