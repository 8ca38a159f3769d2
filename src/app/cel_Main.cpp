#include "cel_Main.h"

#include "cel_BufferSizeWin.h"
#include "cel_ColorWin.h"
#include "cel_Dialogs.h"
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


// The images live in the windows library; a static library needs its resources pulled in.
static void InitResources() { Q_INIT_RESOURCE(resources); }

TMainWin::TMainWin() {
    InitResources();
    MainWin = this;
    State.Main = this;
    State.Interpreter = &Interpreter;
    Workspace = &State;
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
    // The control last focused in a work window, which Minimize gives the focus back to (the
    // main window's menu takes the focus from it).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && IsWorkWindow(now->window())) LastWorkFocus = now;
    });
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
    Workspace = nullptr;
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
    using K = QKeySequence;
    enum TPlace { File, Edit, View, Run, Interpreter, Extras, Help, Bar, Tools };
    enum TFlags { Checkable = 1, Checked = 2 | Checkable, WidthItems = 4, BreakItems = 8, WidthButtons = 16 };
    constexpr TGroup None = TGroup::Count;
    struct TMenuRow {
        QMenu* TMainWin::*Member;
        const char* Name;
        const char* Caption;
    };
    static const TMenuRow menus[] = {
        {&TMainWin::MenuFile, "MenuFile", "&File"},
        {&TMainWin::MenuEdit, "MenuEdit", "&Edit"},
        {&TMainWin::MenuView, "MenuView", "&View"},
        {&TMainWin::MenuRun, "MenuRun", "&Run"},
        {&TMainWin::MenuInterpreter, "MenuInterpreter", "&Interpreter"},
        {&TMainWin::MenuExtras, "MenuExtras", "E&xtras"},
        {&TMainWin::MenuHelp, "MenuHelp", "&Help"},
    };
    // The commands in the order of their menus and the toolbar. A row without a name is a
    // separator; MenuRecent stands for the five recent-file entries. A toolbar button's caption
    // is its image, and its hint the tooltip.
    struct TCommandRow {
        QAction* TMainWin::*Member;
        const char* Name;
        const char* Caption;
        K Shortcut;
        void (TMainWin::*Handler)();
        TPlace Place;
        TGroup Group;
        int Flags;
        const char* Hint;
    };
    const TCommandRow rows[] = {
        {&TMainWin::MenuNew, "MenuNew", "&New", K(Qt::CTRL | Qt::Key_N), &TMainWin::MenuNewClick, File, TGroup::Ready, 0, nullptr},
        {&TMainWin::MenuOpen, "MenuOpen", "&Open ...", K(Qt::CTRL | Qt::Key_O), &TMainWin::MenuOpenClick, File, TGroup::Ready, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, File, None, 0, nullptr},
        {&TMainWin::MenuClose, "MenuClose", "&Close", K(Qt::CTRL | Qt::Key_F4), &TMainWin::MenuCloseClick, File, TGroup::Ready, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, File, None, 0, nullptr},
        {&TMainWin::MenuSave, "MenuSave", "&Save", K(Qt::CTRL | Qt::Key_S), &TMainWin::MenuSaveClick, File, None, 0, nullptr},
        {&TMainWin::MenuSaveAs, "MenuSaveAs", "Save &As ...", K(Qt::CTRL | Qt::ALT | Qt::Key_S), &TMainWin::MenuSaveAsClick, File, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, File, None, 0, nullptr},
        {nullptr, "MenuRecent", nullptr, K(), nullptr, File, TGroup::Ready, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, File, None, 0, nullptr},
        {&TMainWin::MenuExit, "MenuExit", "E&xit", K(Qt::ALT | Qt::Key_F4), &TMainWin::MenuExitClick, File, None, 0, nullptr},

        {&TMainWin::MenuUndo, "MenuUndo", "&Undo", K(Qt::CTRL | Qt::Key_Z), &TMainWin::MenuUndoClick, Edit, None, 0, nullptr},
        {&TMainWin::MenuRedo, "MenuRedo", "&Redo", K(Qt::CTRL | Qt::Key_Y), &TMainWin::MenuRedoClick, Edit, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Edit, None, 0, nullptr},
        {&TMainWin::MenuSelectAll, "MenuSelectAll", "Select &All", K(Qt::CTRL | Qt::Key_A), &TMainWin::MenuSelectAllClick, Edit, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Edit, None, 0, nullptr},
        {&TMainWin::MenuCut, "MenuCut", "&Cut", K(Qt::CTRL | Qt::Key_X), &TMainWin::MenuCutClick, Edit, None, 0, nullptr},
        {&TMainWin::MenuCopy, "MenuCopy", "C&opy", K(Qt::CTRL | Qt::Key_C), &TMainWin::MenuCopyClick, Edit, None, 0, nullptr},
        {&TMainWin::MenuPaste, "MenuPaste", "&Paste", K(Qt::CTRL | Qt::Key_V), &TMainWin::MenuPasteClick, Edit, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Edit, None, 0, nullptr},
        {&TMainWin::MenuFind, "MenuFind", "&Find && Replace ...", K(Qt::CTRL | Qt::Key_F), &TMainWin::MenuFindClick, Edit, None, 0, nullptr},
        {&TMainWin::MenuFindAgain, "MenuFindAgain", "Fi&nd Again", K(Qt::Key_F3), &TMainWin::MenuFindAgainClick, Edit, None, 0, nullptr},
        {&TMainWin::MenuReplaceAgain, "MenuReplaceAgain", "R&eplace Again", K(Qt::SHIFT | Qt::Key_F3), &TMainWin::MenuReplaceAgainClick, Edit, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Edit, None, 0, nullptr},
        {&TMainWin::MenuMatchBracket, "MenuMatchBracket", "Go to &Matching Bracket", K(Qt::CTRL | Qt::Key_M), &TMainWin::MenuMatchBracketClick, Edit, None, 0, nullptr},

        {&TMainWin::MenuWinSize, "MenuWinSize", "Toggle &Window Size Ratio", K(Qt::Key_F2), &TMainWin::MenuWinSizeClick, View, None, 0, nullptr},
        {&TMainWin::MenuToggle, "MenuToggle", "&Toggle between Windows", K(Qt::SHIFT | Qt::Key_F1), &TMainWin::MenuToggleClick, View, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, View, None, 0, nullptr},
        {&TMainWin::MenuEditor, "MenuEditor", "Source &Editor", K(Qt::SHIFT | Qt::Key_F10), &TMainWin::MenuEditorClick, View, None, Checked, nullptr},
        {&TMainWin::MenuOutput, "MenuOutput", "&Output", K(Qt::SHIFT | Qt::Key_F11), &TMainWin::MenuOutputClick, View, None, Checked, nullptr},
        {&TMainWin::MenuMemory, "MenuMemory", "&Memory", K(Qt::SHIFT | Qt::Key_F12), &TMainWin::MenuMemoryClick, View, None, Checked, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, View, None, 0, nullptr},
        {&TMainWin::MenuFlat, "MenuFlat", "Flat &Toolbar", K(), &TMainWin::MenuFlatClick, View, None, Checked, nullptr},
        {&TMainWin::MenuGutter, "MenuGutter", "Show &Gutter", K(), &TMainWin::MenuGutterClick, View, None, Checked, nullptr},
        {&TMainWin::MenuEdge, "MenuEdge", "Show 80-Columns-&Edge", K(), &TMainWin::MenuEdgeClick, View, None, Checked, nullptr},

        {&TMainWin::MenuDoRun, "MenuDoRun", "&Run", K(Qt::Key_F9), &TMainWin::MenuDoRunClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuDebug, "MenuDebug", "&Debug", K(Qt::Key_F8), &TMainWin::MenuDebugClick, Run, TGroup::Continue, 0, nullptr},
        {&TMainWin::MenuReset, "MenuReset", "&Program Reset", K(Qt::CTRL | Qt::Key_F2), &TMainWin::MenuResetClick, Run, TGroup::Stop, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Run, None, 0, nullptr},
        {&TMainWin::MenuTrace, "MenuTrace", "&Trace", K(Qt::Key_F7), &TMainWin::MenuTraceClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuStepOver, "MenuStepOver", "Step &Over", K(Qt::Key_F10), &TMainWin::MenuStepOverClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuStepOut, "MenuStepOut", "Step O&ut", K(Qt::SHIFT | Qt::Key_F8), &TMainWin::MenuStepOutClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuStepBack, "MenuStepBack", "Step &Back", K(Qt::SHIFT | Qt::Key_F7), &TMainWin::MenuStepBackClick, Run, TGroup::Back, 0, nullptr},
        {&TMainWin::MenuRunBackwards, "MenuRunBackwards", "Run Bac&kwards", K(Qt::SHIFT | Qt::Key_F9), &TMainWin::MenuRunBackwardsClick, Run, TGroup::Back, 0, nullptr},
        {&TMainWin::MenuBackToCursor, "MenuBackToCursor", "Back to C&ursor", K(Qt::SHIFT | Qt::Key_F4), &TMainWin::MenuBackToCursorClick, Run, TGroup::Back, 0, nullptr},
        {&TMainWin::MenuRunToCursor, "MenuRunToCursor", "Run to &Cursor", K(Qt::Key_F4), &TMainWin::MenuRunToCursorClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuToggleBreakpoint, "MenuToggleBreakpoint", "Toggle &Breakpoint", K(Qt::CTRL | Qt::Key_B), &TMainWin::MenuToggleBreakpointClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuClearBreakpoints, "MenuClearBreakpoints", "&Clear All Breakpoints", K(Qt::CTRL | Qt::SHIFT | Qt::Key_B), &TMainWin::MenuClearBreakpointsClick, Run, TGroup::Start, 0, nullptr},
        {&TMainWin::MenuBreakpoints, "MenuBreakpoints", "&Breakpoints...", K(Qt::CTRL | Qt::ALT | Qt::Key_B), &TMainWin::MenuBreakpointsClick, Run, TGroup::Start, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Run, None, 0, nullptr},
        {&TMainWin::MenuBreakOnChange, "MenuBreakOnChange", "Break on &Change", K(), &TMainWin::MenuBreakOnChangeClick, Run, TGroup::Modify, Checkable, nullptr},
        {&TMainWin::MenuBreakOnArrival, "MenuBreakOnArrival", "Break on &Arrival", K(), &TMainWin::MenuBreakOnArrivalClick, Run, TGroup::Modify, Checkable, nullptr},
        {&TMainWin::MenuClearWatchpoints, "MenuClearWatchpoints", "Clear All Watc&hpoints", K(), &TMainWin::MenuClearWatchpointsClick, Run, TGroup::Start, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Run, None, 0, nullptr},
        {&TMainWin::MenuModifyMemory, "MenuModifyMemory", "&Modify Memory at current Position ...", K(Qt::Key_F12), &TMainWin::MenuModifyMemoryClick, Run, TGroup::Modify, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Run, None, 0, nullptr},
        {&TMainWin::MenuWatch, "MenuWatch", "&Watch Program Operation", K(Qt::Key_F11), &TMainWin::MenuWatchClick, Run, None, Checkable, nullptr},
        {&TMainWin::MenuSpeed, "MenuSpeed", "&Set Running Speed for Watch ...", K(Qt::CTRL | Qt::Key_F10), &TMainWin::MenuSpeedClick, Run, None, 0, nullptr},
        {&TMainWin::MenuProfile, "MenuProfile", "&Profile", K(), nullptr, Run, TGroup::Ready, Checkable, nullptr},

        {&TMainWin::Menu8Bit, "Menu8Bit", "Use &8 Bit Mode", K(Qt::CTRL | Qt::Key_8), &TMainWin::Menu8BitClick, Interpreter, TGroup::Ready, Checked | WidthItems, nullptr},
        {&TMainWin::Menu16Bit, "Menu16Bit", "Use 1&6 Bit Mode", K(Qt::CTRL | Qt::Key_9), &TMainWin::Menu16BitClick, Interpreter, TGroup::Ready, Checkable | WidthItems, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Interpreter, None, 0, nullptr},
        {&TMainWin::MenuPBrain, "MenuPBrain", "Enable &Procedural BF", K(Qt::CTRL | Qt::Key_P), &TMainWin::MenuPBrainClick, Interpreter, TGroup::Ready, Checkable, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Interpreter, None, 0, nullptr},
        {&TMainWin::MenuBufferSize, "MenuBufferSize", "Set Output &Buffer Size ...", K(Qt::SHIFT | Qt::Key_F2), &TMainWin::MenuBufferSizeClick, Interpreter, TGroup::Ready, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Interpreter, None, 0, nullptr},
        {&TMainWin::Menu0x0A, "Menu0x0A", "Report &LF for Line Breaks when entering Text", K(), nullptr, Interpreter, None, Checked | BreakItems, nullptr},
        {&TMainWin::Menu0x0D0A, "Menu0x0D0A", "Report &CRLF", K(), nullptr, Interpreter, None, Checkable | BreakItems, nullptr},
        {&TMainWin::Menu0x0D, "Menu0x0D", "Report C&R", K(), nullptr, Interpreter, None, Checkable | BreakItems, nullptr},
        {&TMainWin::Menu0x0A0D, "Menu0x0A0D", "R&eport LFCR", K(), nullptr, Interpreter, None, Checkable | BreakItems, nullptr},
        {&TMainWin::MenuNoLineBreak, "MenuNoLineBreak", "Report &no Line Break", K(), nullptr, Interpreter, None, Checkable | BreakItems, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Interpreter, None, 0, nullptr},
        {&TMainWin::MenuEnableComments, "MenuEnableComments", "Enable Comment &Markers (; / * ' % #)", K(), nullptr, Interpreter, TGroup::Ready, Checked, nullptr},

        {&TMainWin::MenuSetInputFile, "MenuSetInputFile", "Set &Input File ...", K(Qt::Key_F5), &TMainWin::MenuSetInputFileClick, Extras, TGroup::Ready, 0, nullptr},
        {&TMainWin::MenuSetOutputFile, "MenuSetOutputFile", "Set &Output File ...", K(Qt::Key_F6), &TMainWin::MenuSetOutputFileClick, Extras, TGroup::Ready, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Extras, None, 0, nullptr},
        {&TMainWin::MenuClearOutput, "MenuClearOutput", "Clear O&utput", K(Qt::CTRL | Qt::Key_F12), &TMainWin::MenuClearOutputClick, Extras, None, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Extras, None, 0, nullptr},
        {&TMainWin::MenuFont, "MenuFont", "&Font ...", K(), &TMainWin::MenuFontClick, Extras, None, 0, nullptr},
        {&TMainWin::MenuColors, "MenuColors", "&Colors ...", K(), &TMainWin::MenuColorsClick, Extras, TGroup::Ready, 0, nullptr},
        {nullptr, nullptr, nullptr, K(), nullptr, Extras, None, 0, nullptr},
        {&TMainWin::MenuTextGen, "MenuTextGen", "&Text Generator ...", K(Qt::CTRL | Qt::Key_T), &TMainWin::MenuTextGenClick, Extras, None, 0, nullptr},
        {&TMainWin::MenuStrip, "MenuStrip", "&Strip All Non-Brainfuck Symbols ...", K(Qt::ALT | Qt::Key_F12), &TMainWin::MenuStripClick, Extras, None, 0, nullptr},

        {&TMainWin::MenuInfo, "MenuInfo", "&Info ...", K(Qt::Key_F1), &TMainWin::MenuInfoClick, Help, None, 0, nullptr},

        {&TMainWin::MenuMinimize, "MenuMinimize", "&Minimize", K(), &TMainWin::MenuMinimizeClick, Bar, None, 0, nullptr},

        {&TMainWin::BtnNew, "BtnNew", "new", K(), &TMainWin::MenuNewClick, Tools, TGroup::Ready, 0, "New (Ctrl+N)"},
        {&TMainWin::BtnOpen, "BtnOpen", "open", K(), &TMainWin::MenuOpenClick, Tools, TGroup::Ready, 0, "Open (Ctrl+O)"},
        {&TMainWin::BtnSave, "BtnSave", "save", K(), &TMainWin::MenuSaveClick, Tools, None, 0, "Save (Ctrl+S)"},
        {nullptr, nullptr, nullptr, K(), nullptr, Tools, None, 0, nullptr},
        {&TMainWin::BtnClose, "BtnClose", "close", K(), &TMainWin::MenuCloseClick, Tools, TGroup::Ready, 0, "Close (Ctrl+F4)"},
        {nullptr, nullptr, nullptr, K(), nullptr, Tools, None, 0, nullptr},
        {&TMainWin::BtnRun, "BtnRun", "run", K(), &TMainWin::MenuDoRunClick, Tools, TGroup::Start, 0, "Run (F9)"},
        {&TMainWin::BtnDebug, "BtnDebug", "debug", K(), &TMainWin::MenuDebugClick, Tools, TGroup::Continue, 0, "Debug (F8)"},
        {&TMainWin::BtnReset, "BtnReset", "reset", K(), &TMainWin::MenuResetClick, Tools, TGroup::Stop, 0, "Program Reset (Ctrl+F2)"},
        {nullptr, nullptr, nullptr, K(), nullptr, Tools, None, 0, nullptr},
        {&TMainWin::BtnTrace, "BtnTrace", "trace", K(), &TMainWin::MenuTraceClick, Tools, TGroup::Start, 0, "Trace (F7)"},
        {&TMainWin::BtnRunToCursor, "BtnRunToCursor", "runtocursor", K(), &TMainWin::MenuRunToCursorClick, Tools, TGroup::Start, 0, "Run to Cursor (F4)"},
        {nullptr, nullptr, nullptr, K(), nullptr, Tools, None, 0, nullptr},
        {&TMainWin::BtnWatch, "BtnWatch", "watch", K(), &TMainWin::MenuWatchClick, Tools, None, Checkable, "Watch program operation (F11)"},
        {nullptr, nullptr, nullptr, K(), nullptr, Tools, None, 0, nullptr},
        {&TMainWin::Btn8Bit, "Btn8Bit", "8bit", K(), &TMainWin::Menu8BitClick, Tools, TGroup::Ready, Checked | WidthButtons, "Use 8 Bit Mode (Ctrl+8)"},
        {&TMainWin::Btn16Bit, "Btn16Bit", "16bit", K(), &TMainWin::Menu16BitClick, Tools, TGroup::Ready, Checkable | WidthButtons, "Use 16 Bit Mode (Ctrl+9)"},
        {nullptr, nullptr, nullptr, K(), nullptr, Tools, None, 0, nullptr},
        {&TMainWin::BtnPBrain, "BtnPBrain", "pbrain", K(), &TMainWin::BtnPBrainClick, Tools, TGroup::Ready, Checkable, "Enable Procedural BF (Ctrl+P)"},
    };

    QMenuBar* bar = menuBar();
    QMenu* menuOf[Bar] = {};
    for (const TMenuRow& row : menus) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(row.Caption));
        menu->setObjectName(QLatin1String(row.Name));
        this->*row.Member = menu;
    }
    for (int i = 0; i < Bar; ++i) menuOf[i] = this->*menus[i].Member;

    QActionGroup* exclusive[3] = {new QActionGroup(this), new QActionGroup(this), new QActionGroup(this)};
    for (const TCommandRow& row : rows) {
        if (row.Place == Tools && !ToolBar) {
            ToolBar = addToolBar(QStringLiteral("ToolBar"));
            ToolBar->setObjectName(QStringLiteral("ToolBar"));
            ToolBar->setMovable(false);
            ToolBar->setFloatable(false);
            ToolBar->setIconSize(QSize(16, 16));
        }
        if (!row.Name) {
            if (row.Place == Tools) ToolBar->addSeparator();
            else menuOf[row.Place]->addSeparator();
            continue;
        }
        if (!row.Member) {
            // The recent-file entries: hidden until they name a file.
            for (int i = 0; i < 5; ++i) {
                const QByteArray name = "MenuRecent" + QByteArray::number(i + 1);
                MenuRecent[i] = AddItem(menuOf[row.Place], name.constData(), QString(),
                                        K(Qt::ALT | (Qt::Key_1 + i)), nullptr);
                connect(MenuRecent[i], &QAction::triggered, this, [this, i] { MenuRecentClick(i); });
                MenuRecent[i]->setVisible(false);
                Groups[int(row.Group)].push_back(MenuRecent[i]);
            }
            continue;
        }
        QAction* action = nullptr;
        if (row.Place == Tools) {
            action = AddButton(row.Name, row.Caption, QString::fromUtf8(row.Hint), row.Handler);
        } else if (row.Place == Bar) {
            action = bar->addAction(QString::fromUtf8(row.Caption));
            action->setObjectName(QLatin1String(row.Name));
            connect(action, &QAction::triggered, this, row.Handler);
        } else {
            action = AddItem(menuOf[row.Place], row.Name, QString::fromUtf8(row.Caption), row.Shortcut, row.Handler);
        }
        this->*row.Member = action;
        if (row.Flags & Checkable) action->setCheckable(true);
        if ((row.Flags & Checked) == Checked) action->setChecked(true);
        if (row.Flags & WidthItems) exclusive[0]->addAction(action);
        if (row.Flags & BreakItems) exclusive[1]->addAction(action);
        if (row.Flags & WidthButtons) exclusive[2]->addAction(action);
        if (row.Group != None) Groups[int(row.Group)].push_back(action);
    }
    // Nothing to continue, stop, modify or go back to before a program exists.
    EnableGroup(TGroup::Continue, false);
    EnableGroup(TGroup::Stop, false);
    EnableGroup(TGroup::Modify, false);
    EnableGroup(TGroup::Back, false);
}

void TMainWin::EnableGroup(TGroup group, bool enabled) {
    for (QAction* action : Groups[int(group)]) action->setEnabled(enabled);
}

bool TMainWin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && !MinimizedWindows.empty() && watched->isWidgetType() &&
        !static_cast<QWidget*>(watched)->isMinimized() &&
        std::find(MinimizedWindows.begin(), MinimizedWindows.end(), watched) != MinimizedWindows.end())
        RestoreApplication();
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        if (HandleShortcut(watched, static_cast<QKeyEvent*>(event))) return true;
        if (watched->isWidgetType() && HandleAltChord(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainWin::HandleAltChord(QWidget* target, QKeyEvent* event) {
    if (QApplication::activeModalWidget() || !(event->modifiers() & Qt::AltModifier) ||
        (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    const QWidget* window = target->window();
    if (window != this && window != EditWin && window != OutputWin && window != MemoryWin) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(Qt::ALT | Qt::Key(event->key()));
        // A button of the window's own with this mnemonic comes first (the input panel's End
        // before the Edit menu).
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if (button->isEnabled() && button->isVisible() && QKeySequence::mnemonic(button->text()) == pressed)
                return false;
        for (QAction* title : menuBar()->actions()) {
            if (QKeySequence::mnemonic(title->text()) != pressed) continue;
            // The main window's menu opens below its title, whichever work window had the key;
            // the window keeps the activation, so that the focus is back where it was when the
            // menu closes. A title without a menu (Minimize) is a command of its own.
            if (title->isEnabled() && title->isVisible() && !isMinimized()) {
                if (title->menu())
                    AfterKey([this, title] { menuBar()->setActiveAction(title); });
                else
                    AfterKey([title] { title->trigger(); });
            }
            event->accept();
            ShortcutTaken = true;
            return true;
        }
        return false;
    }
    // A chord no mnemonic took (a window's own, such as the input panel's buttons, come first)
    // never types its letter.
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

bool TMainWin::HandleShortcut(QObject* target, QKeyEvent* event) {
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
        QMenu* owner = qobject_cast<QMenu*>(item->parent());
        if ((!item->isEnabled() || (owner && !owner->isEnabled())) && LineEditKey(target, event)) {
            // The Edit menu is off while a program runs: the input panel's fields keep their
            // own select, copy and paste keys.
            return false;
        }
        if (QMenu* menu = qobject_cast<QMenu*>(item->parent()); menu && !menu->isEnabled()) {
            // An item of a disabled menu still takes its key.
        } else if (item->isEnabled() && item->isVisible()) {
            AfterKey([item] { item->trigger(); });
        } else if (item->isEnabled() && !item->isVisible() && item->objectName().startsWith(QLatin1String("MenuRecent"))) {
            // A hidden recent entry does nothing, but its key is taken all the same.
        }
        event->accept();
        ShortcutTaken = true;
        return true;
    }
    return false;
}

void TMainWin::AfterKey(std::function<void()> fn) {
    QMetaObject::invokeMethod(
        this, [fn = std::move(fn)] { if (!QApplication::activeModalWidget()) fn(); }, Qt::QueuedConnection);
}

bool TMainWin::LineEditKey(const QObject* target, const QKeyEvent* event) {
    const auto* edit = qobject_cast<const QLineEdit*>(target);
    if (!edit || !edit->isEnabled()) return false;
    for (const auto key : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                           QKeySequence::Undo, QKeySequence::Redo})
        if (event->matches(key)) return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Edit commands: the target is the last activated work window

void TMainWin::MenuUndoClick() { EditWin->Editor->undo(); }
void TMainWin::MenuRedoClick() { EditWin->Editor->redo(); }

void TMainWin::MenuSelectAllClick() {
    if (State.ActiveWorkWindow == EditWin) EditWin->Editor->selectAll();
    else if (State.ActiveWorkWindow == OutputWin) OutputWin->Output->selectAll();
}

void TMainWin::MenuCutClick() {
    if (State.ActiveWorkWindow == EditWin) EditWin->Editor->cut();
    else if (State.ActiveWorkWindow == OutputWin) OutputWin->Output->copy();
}

void TMainWin::MenuCopyClick() {
    if (State.ActiveWorkWindow == EditWin) EditWin->Editor->copy();
    else if (State.ActiveWorkWindow == OutputWin) OutputWin->Output->copy();
}

void TMainWin::MenuPasteClick() {
    if (State.ActiveWorkWindow == EditWin) EditWin->Editor->paste();
}

void TMainWin::MenuFindClick() { FindWin->Ask(); }

void TMainWin::MenuFindAgainClick() { FindWin->FindAgain(); }

void TMainWin::MenuReplaceAgainClick() { FindWin->ReplaceAgain(); }

void TMainWin::MenuSpeedClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog | TModalScope::PendingInput);
    // A watched run reads the delay at its next step.
    if (const auto delay = SpeedWin->Ask(State.WatchDelay)) State.WatchDelay = *delay;
}

void TMainWin::MenuBufferSizeClick() {
    if (const auto size = BufferSizeWin->Ask(State.OutputBufferSize)) State.OutputBufferSize = *size;
}

void TMainWin::MenuSetInputFileClick() {
    // The name is taken as typed: empty switches file input off.
    if (const auto name = InputFileWin->Ask(State.InputFileName)) State.InputFileName = *name;
}

void TMainWin::MenuSetOutputFileClick() {
    if (const auto name = OutputFileWin->Ask(State.OutputFileName)) State.OutputFileName = *name;
}

void TMainWin::MenuColorsClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog);
    MemoryWin->ColorPreview = true;
    // Any end but Ok puts the stored colours back everywhere.
    const auto colors = ColorWin->Ask({State.TextColor, State.BackgroundColor});
    MemoryWin->ColorPreview = false;
    if (colors) {
        State.TextColor = colors->Text;
        State.BackgroundColor = colors->Back;
    }
}

void TMainWin::MenuTextGenClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog);
    TextGenWin->exec();
}

void TMainWin::MenuStripClick() {
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog);
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

// Every setting after the version and before the recent files, in the order a new file lists
// them: how each is read at start-up and written at the end.
std::vector<TMainWin::TSetting> TMainWin::SettingRows() {
    using cel::TIniFile;
    std::vector<TSetting> rows;
    const auto add = [&rows](std::function<void(const TIniFile&)> read, std::function<void(TIniFile&)> write) {
        rows.push_back({std::move(read), std::move(write)});
    };
    const auto item = [&add](const QString& section, const char* key, QAction* action, bool byDefault) {
        add([=](const TIniFile& ini) { action->setChecked(ini.ReadBool(section, QLatin1String(key), byDefault)); },
            [=](TIniFile& ini) { ini.WriteBool(section, QLatin1String(key), action->isChecked()); });
    };
    // A window's outer frame when shown normally (a maximised one's normal frame): x and y
    // always, width and height where the window keeps them.
    const auto frame = [&add](const char* name, std::function<const QWidget*()> window, int* x, int* y, int* width,
                              int* height, int xByDefault) {
        const QByteArray key(name);
        int* const saved[] = {x, y, width, height};
        const char* const suffixes[] = {"_x", "_y", "_width", "_height"};
        for (int i = 0; i < 4; ++i) {
            if (!saved[i]) continue;
            const QString entry = QString::fromLatin1(key + suffixes[i]);
            add([=](const TIniFile& ini) { *saved[i] = ini.ReadInteger(KeyProgram, entry, i == 0 ? xByDefault : 0); },
                [=](TIniFile& ini) {
                    const QRect outer = cel::NormalOuterGeometry(window());
                    const int values[] = {outer.x(), outer.y(), outer.width(), outer.height()};
                    ini.WriteInteger(KeyProgram, entry, values[i]);
                });
        }
    };
    item(KeyProgram, "flat", MenuFlat, true);
    frame("main", [this] { return this; }, &SavedMainX, &SavedMainY, nullptr, nullptr, -1000000);
    frame("editor", [] { return EditWin; }, &SavedEditorX, &SavedEditorY, &SavedEditorWidth, &SavedEditorHeight, 0);
    frame("output", [] { return OutputWin; }, &SavedOutputX, &SavedOutputY, &SavedOutputWidth, &SavedOutputHeight, 0);
    frame("memory", [] { return MemoryWin; }, &SavedMemoryX, &SavedMemoryY, nullptr, &SavedMemoryHeight, 0);
    add([this](const TIniFile& ini) { State.SizeToggle = ini.ReadBool(KeyProgram, QStringLiteral("size_toggle"), false); },
        [this](TIniFile& ini) { ini.WriteBool(KeyProgram, QStringLiteral("size_toggle"), State.SizeToggle); });
    for (const auto& [key, field, byDefault] : {std::tuple{"textcolor", &TWorkspace::TextColor, 0xFFFFFFu},
                                                std::tuple{"bgcolor", &TWorkspace::BackgroundColor, 0u}}) {
        const QString entry = QLatin1String(key);
        const auto member = field;
        const uint32_t fallback = byDefault;
        add([=, this](const TIniFile& ini) {
                State.*member = static_cast<uint32_t>(ini.ReadInteger(KeyEditor, entry, static_cast<int>(fallback))) & 0xFFFFFF;
            },
            [=, this](TIniFile& ini) { ini.WriteInteger(KeyEditor, entry, static_cast<int32_t>(State.*member)); });
    }
    // The editor reads its font itself as it is made.
    add([](const TIniFile&) {},
        [](TIniFile& ini) {
            const QFont font = EditWin->Editor->font();
            ini.WriteInteger(KeyEditor, QStringLiteral("fontsize"), font.pointSize());
            ini.WriteString(KeyEditor, QStringLiteral("fontname"), font.family());
        });
    item(KeyEditor, "gutter", MenuGutter, true);
    item(KeyEditor, "edge", MenuEdge, true);
    add([this](const TIniFile& ini) {
            if (ini.ReadBool(KeyInterpreter, QStringLiteral("8bit"), true)) Menu8Bit->setChecked(true);
            else Menu16Bit->setChecked(true);
        },
        [this](TIniFile& ini) { ini.WriteBool(KeyInterpreter, QStringLiteral("8bit"), Btn8Bit->isChecked()); });
    item(KeyInterpreter, "pbrain", MenuPBrain, false);
    add([this](const TIniFile& ini) {
            State.OutputBufferSize = std::clamp(ini.ReadInteger(KeyInterpreter, QStringLiteral("outputbuffersize"), 128), 1, 255);
        },
        [this](TIniFile& ini) { ini.WriteInteger(KeyInterpreter, QStringLiteral("outputbuffersize"), State.OutputBufferSize); });
    add([this](const TIniFile& ini) {
            State.WatchDelay = ini.ReadInteger(KeyInterpreter, QStringLiteral("executionspeed"), 20);
            if (State.WatchDelay < 0 || State.WatchDelay > 1000) State.WatchDelay = 20;
        },
        [this](TIniFile& ini) { ini.WriteInteger(KeyInterpreter, QStringLiteral("executionspeed"), State.WatchDelay); });
    item(KeyInterpreter, "enablecomments", MenuEnableComments, true);
    item(KeyInterpreter, "profile", MenuProfile, false);
    return rows;
}

void TMainWin::LoadSettings() {
    State.Settings = std::make_unique<cel::TSettings>();
    if (!State.Settings->Load(cel::SettingsPath())) {
        State.Settings.reset();
        cel::ShowError(this, QStringLiteral("An error occurred while reading cellwr.ini."));
        return;
    }
    const cel::TIniFile& ini = State.Settings->Ini;
    // A file of another version is left exactly as it is: it is neither used nor written.
    if (State.Settings->Existed && ini.ReadString(KeyProgram, QStringLiteral("version"), QString()) != Version) {
        State.Settings.reset();
        cel::ShowInformation(this, QStringLiteral("The cellwr.ini file cannot be used. Version mismatch."));
        return;
    }
    for (const TSetting& row : SettingRows()) row.Read(ini);
    MenuFlatClick();
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
    if (!State.Settings || !SettingsSaved) return;
    cel::TIniFile& ini = State.Settings->Ini;
    ini.WriteString(KeyProgram, QStringLiteral("version"), Version);
    for (const TSetting& row : SettingRows()) row.Write(ini);
    // A path whose bytes are no valid text for Qt is written back with the bytes it was read with.
    for (int i = 0; i < 5; ++i) {
        const bool same = QFile::decodeName(RecentBytes[i]) == RecentPath[i];
        ini.WriteBytes(KeyRecent, QString::number(i + 1), same ? RecentBytes[i] : QFile::encodeName(RecentPath[i]));
    }
    if (!State.Settings->Save())
        cel::ShowInformation(this, QStringLiteral("Could not write cellwr.ini. Possibly the file is protected."));
}
