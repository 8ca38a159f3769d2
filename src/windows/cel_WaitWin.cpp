#include "cel_WaitWin.h"

#include "cel_Dialogs.h"
#include "cel_Interpreter.h"
#include "cel_Workspace.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

TWaitWin* WaitWin = nullptr;

TWaitWin::TWaitWin(QWidget* parent)
    : QDialog(parent, cel::FixedDialogFlags(false)) {
    WaitWin = this;
    setObjectName(QStringLiteral("WaitWin"));
    setWindowTitle(QStringLiteral("Please wait"));
    setModal(true);
    cel::KeepWithOwner(this);
    PanelWait = new QLabel(QStringLiteral("The code is being analyzed."), this);
    PanelWait->setObjectName(QStringLiteral("PanelWait"));
    PanelWait->setAlignment(Qt::AlignCenter);
    PanelWait->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QFont bold = PanelWait->font();
    bold.setBold(true);
    PanelWait->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PanelWait);
    setFixedSize(236, 39);
    Timer.setInterval(100);
    connect(&Timer, &QTimer::timeout, this, &TWaitWin::TimerTimer);
}

void TWaitWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    cel::CentreOnScreen(this);
    Workspace->Interpreter->SetTargetLocated(false);
    Workspace->Interpreter->Resume();
}

bool TWaitWin::CheckClose() const {
    if (!Workspace->Running()) return true;
    return Workspace->Interpreter->IsAnalysisDone();
}

void TWaitWin::TimerTimer() {
    if (FormCloseQuery()) done(QDialog::Accepted);
}

bool TWaitWin::FormCloseQuery() {
    if (!CheckClose()) return false;
    Timer.stop();
    return true;
}

void TWaitWin::EndAnalysis() {
    if (isVisible() && FormCloseQuery()) done(QDialog::Accepted);
}

void TWaitWin::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) event->accept();
    else event->ignore();
}

void TWaitWin::reject() {
    // Esc closes only what may close.
    if (FormCloseQuery()) QDialog::reject();
}
