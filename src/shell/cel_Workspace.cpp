#include "cel_Workspace.h"

TWorkspace* Workspace = nullptr;

TModalScope::TModalScope(int what)
    : What(what), OldModal(Workspace->ModalOpen), OldDialog(Workspace->DialogOpen) {
    if (What & Modal) Workspace->ModalOpen = true;
    if (What & Dialog) Workspace->DialogOpen = true;
}

TModalScope::~TModalScope() {
    Workspace->ModalOpen = OldModal;
    Workspace->DialogOpen = OldDialog;
    if ((What & PendingInput) && Workspace->Main) Workspace->Main->ShowPendingInput();
}
