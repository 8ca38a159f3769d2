// The state the IDE's windows share, and what they may ask of the main window. The main window
// owns both; the windows and tools include this header, never the main window's.
#pragma once

#include "cel_EngineHost.h"
#include "cel_Settings.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class QWidget;
namespace cel {
class TBFInterpreter;
}

// The main window as the windows see it: the switches they read, the View items they uncheck,
// and the few operations they start. GUI thread only.
class TMainFace {
public:
    enum class TSwitch { Gutter, RightEdge, ProcMode, Watch, CommentMarkers };
    enum class TView { Editor, Output, Memory };

    // The checked state of the switch's menu item.
    virtual bool SwitchOn(TSwitch which) const = 0;
    // The window was closed by the user: its View item is unchecked.
    virtual void ViewClosed(TView which) = 0;
    // View > Window Size: the other window arrangement.
    virtual void ToggleWindowSize() = 0;
    // Shows the output window (checking its View item) and clears a pending input request.
    virtual void ShowOutput() = 0;
    // Input demanded while a modal dialog showed now gets the focus; nothing when none was.
    virtual void ShowPendingInput() = 0;
    // The line-break bytes appended to typed input.
    virtual QByteArray LineBreakReport() const = 0;
    // The current document's watchpoints changed (set, cleared, another tab selected).
    virtual void WatchpointsChanged() = 0;

protected:
    ~TMainFace() = default;
};

// Plain state, no widgets: the main window fills it from the settings and its commands, the
// windows read it (and set the few fields named as theirs). GUI thread only, apart from
// RunFlags, which the engine's thread sets too.
struct TWorkspace {
    TMainFace* Main = nullptr;
    cel::TBFInterpreter* Interpreter = nullptr;
    cel::TRunFlags RunFlags;
    bool Running() const { return RunFlags.Running.load(); }
    bool Paused() const { return RunFlags.Paused.load(); }
    bool WaitingForInput() const { return RunFlags.WaitingForInput.load(); }

    uint32_t TextColor = 0xFFFFFF;  // red in the low byte
    uint32_t BackgroundColor = 0;
    int OutputBufferSize = 128;
    int WatchDelay = 20;
    QString InputFileName;
    QString OutputFileName;
    bool SizeToggle = false;
    int UntitledCounter = 1;  // the number of the next untitled document

    // A modal dialog of the main window shows: input a program demands meanwhile waits.
    bool ModalOpen = false;
    // The memory window takes no cell clicks and draws no hover frame.
    bool DialogOpen = false;
    // A program asked for input while ModalOpen; it gets the focus once the dialog closes.
    bool InputPending = false;
    // The work window (editor, output or memory) activated last; each sets it itself.
    QWidget* ActiveWorkWindow = nullptr;

    // The settings file as read at start-up; none when it could not be read or does not fit
    // this version, and then nothing is written at the end.
    std::unique_ptr<cel::TSettings> Settings;
};

// The main window's workspace while the main window exists; null before and after.
extern TWorkspace* Workspace;

// For its lifetime, a modal dialog of the main window shows: with Modal, input a program
// demands meanwhile waits (ModalOpen); with Dialog, the memory window takes no cell clicks and
// draws no hover frame (DialogOpen). Both flags get their earlier values back at the end; with
// PendingInput, input demanded meanwhile is then given the focus.
class TModalScope {
public:
    enum TWhat { Modal = 1, Dialog = 2, PendingInput = 4 };
    explicit TModalScope(int what);
    ~TModalScope();
    TModalScope(const TModalScope&) = delete;
    TModalScope& operator=(const TModalScope&) = delete;

private:
    int What;
    bool OldModal;
    bool OldDialog;
};
