// TMainWin: the small always-on-top main window with the menu bar and the toolbar. It owns the
// interpreter facade and the workspace, the state every window reads.
#pragma once

#include "cel_GuiHost.h"
#include "cel_Interpreter.h"
#include "cel_Settings.h"
#include "cel_Workspace.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QToolBar;
class TProfileWin;

class TMainWin final : public QMainWindow, public TMainFace {
    Q_OBJECT
public:
    TMainWin();
    ~TMainWin() override;

    // ---- What the windows ask (TMainFace) ----
    bool SwitchOn(TSwitch which) const override;
    void ViewClosed(TView which) override;
    void ToggleWindowSize() override;
    void ShowOutput() override;
    void ShowPendingInput() override;
    QByteArray LineBreakReport() const override;
    void WatchpointsChanged() override;

    // ---- The program's entry and the desktop session ----
    // Opens each file as File > Open does with the files chosen in its dialog (the IDE's
    // command line uses it after start-up); nothing happens for an empty list.
    void OpenFiles(const QStringList& paths);
    // Files a later start of the IDE handed over: each opens as File > Open opens it, except
    // that a file open in a tab already has that tab brought forward; then the windows come to
    // the front. While a program exists or a dialog is open the files wait for it to end.
    void TakeHandedFiles(const QStringList& paths);
    // This IDE started beside another one: it says so once and writes no settings at its end,
    // which would overwrite the other's.
    void LeaveSettingsUnsaved();
    // The end of the desktop session: the close sequence (its questions only when the session
    // manager allows them), then the settings. False when the user refused; the program then
    // stays as it was.
    bool EndSession(bool mayAsk);
    // True while the window arrangement waits for the window manager's frames to place the
    // windows again.
    bool LayoutSettling() const { return LayoutCheck.isActive(); }

private:
    // The engine's host in the IDE carries out the engine's hand-offs on this window.
    friend class cel::TGuiHost;
    // The window tests' probe of the layout and recent-file state (tests/gui).
    friend class TMainWinProbe;

    // ---- Shared state ----
    TWorkspace State;
    cel::TGuiHost Host{State.RunFlags};
    cel::TBFInterpreter Interpreter{Host};
    bool Running() const { return State.Running(); }
    bool Paused() const { return State.Paused(); }
    bool WaitingForInput() const { return State.WaitingForInput(); }
    int64_t LastInstructionCount = 0;
    qint64 StartTime = 0;  // milliseconds since the epoch when the run was prepared
    // The elapsed time first shown with each executed count the run paused at, and the
    // furthest count it paused at. A pause in the past (after a backward move, or going forward
    // again short of Furthest) shows the time the run showed at that count; where it never
    // paused there, field 4 stays as it was, as no exact time is known.
    std::map<uint64_t, qint64> PauseTimes;
    uint64_t Furthest = 0;
    bool MovingBack = false;  // the next pause ends a backward move
    bool FirstLayout = true;
    int SavedMainX = -1000000;
    int SavedMainY = 0;
    int SavedEditorX = 0, SavedEditorY = 0, SavedEditorWidth = 0, SavedEditorHeight = 0;
    int SavedOutputX = 0, SavedOutputY = 0, SavedOutputWidth = 0, SavedOutputHeight = 0;
    int SavedMemoryX = 0, SavedMemoryY = 0, SavedMemoryHeight = 0;

    // ---- Commands ----
    QMenu* MenuFile = nullptr;
    QMenu* MenuEdit = nullptr;
    QMenu* MenuView = nullptr;
    QMenu* MenuRun = nullptr;
    QMenu* MenuInterpreter = nullptr;
    QMenu* MenuExtras = nullptr;
    QMenu* MenuHelp = nullptr;
    QAction *MenuNew, *MenuOpen, *MenuClose, *MenuSave, *MenuSaveAs, *MenuExit;
    QAction* MenuRecent[5];
    QAction *MenuUndo, *MenuRedo, *MenuSelectAll, *MenuCut, *MenuCopy, *MenuPaste, *MenuFind,
        *MenuFindAgain, *MenuReplaceAgain;
    QAction *MenuWinSize, *MenuToggle, *MenuEditor, *MenuOutput, *MenuMemory, *MenuFlat,
        *MenuGutter, *MenuEdge;
    QAction *MenuDoRun, *MenuDebug, *MenuReset, *MenuTrace, *MenuRunToCursor, *MenuModifyMemory,
        *MenuWatch, *MenuSpeed;
    QAction *Menu8Bit, *Menu16Bit, *MenuPBrain, *MenuBufferSize, *Menu0x0A, *Menu0x0D0A, *Menu0x0D,
        *Menu0x0A0D, *MenuNoLineBreak, *MenuEnableComments;
    QAction *MenuSetInputFile, *MenuSetOutputFile, *MenuClearOutput, *MenuFont, *MenuColors,
        *MenuTextGen, *MenuStrip;
    QAction *MenuInfo, *MenuMinimize;
    QAction *MenuToggleBreakpoint = nullptr, *MenuClearBreakpoints = nullptr, *MenuMatchBracket = nullptr;
    QAction *MenuStepBack = nullptr, *MenuRunBackwards = nullptr, *MenuBackToCursor = nullptr;
    QAction *MenuStepOver = nullptr, *MenuStepOut = nullptr, *MenuBreakOnChange = nullptr,
            *MenuBreakOnArrival = nullptr, *MenuClearWatchpoints = nullptr, *MenuBreakpoints = nullptr,
            *MenuProfile = nullptr;
    // The "Profile" window: made at the first profiled pause or end.
    QPointer<TProfileWin> ProfileWin;
    // The watchpoints last given to the engine: a watchpoint pause names one by its index here.
    std::vector<cel::TWatchpoint> GivenWatchpoints;
    bool ProfiledRun = false;  // the current (or last) run counts its commands
    QToolBar* ToolBar = nullptr;
    QAction *BtnNew, *BtnOpen, *BtnSave, *BtnClose, *BtnRun, *BtnDebug, *BtnReset, *BtnTrace,
        *BtnRunToCursor, *BtnWatch, *Btn8Bit, *Btn16Bit, *BtnPBrain;
    QTimer Timer;  // the status timer, 2000 ms while a program executes

    // The recent-file entries: real paths, apart from their captions (which escape "&").
    QString RecentPath[5];
    // The bytes each entry was read from the settings with, written back unchanged.
    QByteArray RecentBytes[5];

    // The file filter of the source dialogs.

    // ---- What the engine's host hands over (GUI thread) ----
    void ShowEditor();
    void SetRunningCommands();
    // The hooks' enabling changes (run on the GUI thread).
    void PresentRunning(bool stepMode);
    void PresentPaused();
    void PresentReady();
    void ShowRunCounters();
    // Status fields 3 and 4: the executed count, and the elapsed time when one is given (else
    // field 4 stays as it is).
    void ShowCounters(std::optional<qint64> elapsedMs);
    qint64 ElapsedMs() const;
    // The counters of a pause; see PauseTimes.
    void ShowPauseCounters();
    // The engine's note that a change of the past discarded the recorded future.
    void HistoryDiscarded();
    // True when the previous run's engine has finished presenting its end (waits for it,
    // serving its hand-offs, when it is about to).
    bool EngineIdle();

    // Document operations.
    bool QuerySaveCurrent();
    bool QuerySaveAll();
    bool SaveCurrent();
    bool SaveCurrentAs();
    bool WriteEditorToFile(const QString& path);
    bool OpenFile(const QString& path);
    void AfterOpen();
    // Opens the handed-over files now if nothing holds the documents, then comes to the front.
    void OpenHandedFiles();
    void ComeToFront();
    QStringList HandedFiles;
    bool HandOverWaiting = false;
    QTimer HandOverCheck;  // polls for the end of the run or dialog the handed files wait for
    bool SettingsSaved = true;
    bool IsRecent(const QString& path) const;
    void AddRecent(const QString& path);
    void UpdateRecentItems();

    // ---- Command handlers ----
    void MenuNewClick();
    void MenuOpenClick();
    void MenuCloseClick();
    void MenuSaveClick();
    void MenuSaveAsClick();
    void MenuRecentClick(int index);
    void MenuExitClick();
    void MenuUndoClick();
    void MenuRedoClick();
    void MenuSelectAllClick();
    void MenuCutClick();
    void MenuCopyClick();
    void MenuPasteClick();
    void MenuFindClick();
    void MenuFindAgainClick();
    void MenuReplaceAgainClick();
    void MenuWinSizeClick();
    void MenuToggleClick();
    void MenuEditorClick();
    void MenuOutputClick();
    void MenuMemoryClick();
    void MenuFlatClick();
    void MenuGutterClick();
    void MenuEdgeClick();
    void MenuDoRunClick();
    void MenuDebugClick();
    void MenuResetClick();
    void MenuTraceClick();
    void MenuRunToCursorClick();
    void MenuStepBackClick();
    void MenuRunBackwardsClick();
    void MenuBackToCursorClick();
    // A backward move may be asked for: the program is paused past its start.
    bool MayMoveBack() const;
    // Before a backward move: the pause it ends in is presented as one in the past.
    void BeginMoveBack();
    void MenuModifyMemoryClick();
    void MenuWatchClick();
    void MenuSpeedClick();
    void Menu8BitClick();
    void Menu16BitClick();
    void MenuPBrainClick();
    void BtnPBrainClick();
    void MenuBufferSizeClick();
    void MenuSetInputFileClick();
    void MenuSetOutputFileClick();
    void MenuClearOutputClick();
    void MenuFontClick();
    void MenuColorsClick();
    void MenuTextGenClick();
    void MenuStripClick();
    void MenuInfoClick();
    void MenuMinimizeClick();
    void MenuToggleBreakpointClick();
    void MenuClearBreakpointsClick();
    void MenuMatchBracketClick();
    void MenuStepOverClick();
    void MenuStepOutClick();
    void StepOverOrOut(bool out);
    void MenuBreakOnChangeClick();
    void MenuBreakOnArrivalClick();
    void MenuClearWatchpointsClick();
    void MenuBreakpointsClick();
    // Before a run's first Resume: its breakpoints, watchpoints and the profile switch.
    void GiveDebugging();
    void GiveWatchpoints();
    // A pause's note in the status bar (a watchpoint's cell, old and new value) and the check
    // items of the current cell.
    void PresentPauseReason();
    // The profile's counts in the editor and the Profile window (at a pause and at the end).
    void PresentProfile();
    void TimerTimer();
    void LayoutCheckTimer();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The commands enabled and disabled together as a program starts, pauses and ends.
    enum class TGroup {
        Ready,     // only while no program exists: documents, interpreter options, input and output files
        Start,     // Run, Trace, Run to Cursor, the breakpoint items: start a program or go on from a pause
        Continue,  // Debug: a running program pauses
        Stop,      // Program Reset
        Modify,    // Modify Memory, while paused
        Back,      // Step Back, Run Backwards, Back to Cursor: while paused past the run's start
        Count
    };
    // Builds the menus and the toolbar from the command table.
    void CreateCommands();
    void EnableGroup(TGroup group, bool enabled);
    std::vector<QAction*> Groups[int(TGroup::Count)];
    void LoadSettings();
    // A setting of the file: how it is read and how it is written.
    struct TSetting {
        std::function<void(const cel::TIniFile&)> Read;
        std::function<void(cel::TIniFile&)> Write;
    };
    std::vector<TSetting> SettingRows();
    // Applies the switch values to the menu items and their toolbar buttons.
    void ApplySwitches();
    // Writes the settings at the end of the program.
    void FormClose();
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut, void (TMainWin::*handler)());
    QAction* AddButton(const char* name, const char* image, const QString& hint,
                       void (TMainWin::*handler)());
    // The window arrangement: the outer frames of the main, editor, output and memory windows.
    void ComputeLayout();
    void ApplyLayout();
    // Reads a restored arrangement as earlier versions wrote it, when that fits it better.
    void ReadEarlierLayout();
    // Restores the windows "Minimize" took down with the main window.
    void RestoreApplication();
    void PrepareRun();
    void StartOrContinueRun();
    // Shows the wait window modally; its showing starts the engine.
    void StartEngine();
    void ClearRunCounters();
    bool FormCloseQuery();
    // Takes the main menu's shortcuts in every window before the focused control sees them.
    bool HandleShortcut(QObject* target, QKeyEvent* event);
    // A key that target, a line edit, has for editing (select all, clipboard, undo).
    static bool LineEditKey(const QObject* target, const QKeyEvent* event);
    // Alt+letter in a work window: the main menu's mnemonics open its menus from every work
    // window, and no Alt chord types its letter into a control.
    bool HandleAltChord(QWidget* target, QKeyEvent* event);
    // Runs fn once the key event that asked for it is done with, unless a modal window has
    // opened by then (the same key pressed twice, or a key that came right behind the one that
    // opened a dialog): the keys of a modal window are its own, and a command run inside its
    // loop would open a second dialog over it, or the same dialog again.
    void AfterKey(std::function<void()> fn);

    static constexpr int MemoryOuterWidth = 208;
    QRect LayoutRects[4];
    QMargins LayoutMargins[4];
    bool LayoutRestored = false;
    bool EarlierLayoutChecked = false;  // ReadEarlierLayout() has run for the restored layout
    float LayoutFactor = 0.66f;
    QTimer LayoutCheck;
    int LayoutChecks = 0;
    int LayoutSteadyChecks = 0;  // checks in a row that found every frame known and in place

    std::vector<QPointer<QWidget>> MinimizedWindows;
    QPointer<QWidget> LastWorkFocus;        // the control last focused in a work window
    QPointer<QWidget> FocusBeforeMinimize;  // gets the focus back when the windows are restored
    bool IsWorkWindow(const QWidget* window) const;

    std::vector<QAction*> ShortcutItems;
    bool ShortcutTaken = false;
    bool StartingRun = false;
    bool Resetting = false;
    bool SessionEnded = false;  // Program Reset waits for the engine to end
};

extern TMainWin* MainWin;
