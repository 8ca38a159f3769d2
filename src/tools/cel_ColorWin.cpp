#include "cel_ColorWin.h"

#include "cel_Dialogs.h"
#include "cel_EditWin.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_Workspace.h"

#include <Qsci/qsciscintilla.h>

#include <QFrame>
#include <QGroupBox>
#include <QPushButton>

TColorWin* ColorWin = nullptr;

namespace {

void SetPanelColor(QFrame* panel, const QColor& color) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, color);
    panel->setPalette(palette);
}

}  // namespace

TColorWin::TColorWin(QWidget* parent) : QDialog(parent, cel::FixedDialogFlags()) {
    ColorWin = this;
    cel::SetupFixedDialog(this, "ColorWin", QStringLiteral("Colors"), 353, 203);

    const auto makeGroup = [this](const char* name, const QString& title, int left, const char* panelName,
                                  const char* buttonName, const QString& caption, QFrame*& panel) {
        auto* group = new QGroupBox(title, this);
        group->setObjectName(QLatin1String(name));
        group->setGeometry(left, 8, 164, 152);
        panel = new QFrame(group);
        panel->setObjectName(QLatin1String(panelName));
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setLineWidth(2);
        panel->setAutoFillBackground(true);
        panel->setGeometry(16, 24, 132, 80);
        auto* button = new QPushButton(caption, group);
        button->setObjectName(QLatin1String(buttonName));
        button->setGeometry(16, 114, 132, 25);
        return button;
    };
    BtnChangeTC = makeGroup("PnlTextColor", QStringLiteral("Text Color"), 8, "PnlTCShow", "BtnChangeTC",
                            QStringLiteral("C&hange ..."), PnlTCShow);
    QPushButton* BtnChangeBC = makeGroup("PnlBackgroundColor", QStringLiteral("Background Color"), 181, "PnlBCShow",
                            "BtnChangeBC", QStringLiteral("Ch&ange ..."), PnlBCShow);
    connect(BtnChangeTC, &QPushButton::clicked, this, &TColorWin::BtnChangeTCClick);
    connect(BtnChangeBC, &QPushButton::clicked, this, &TColorWin::BtnChangeBCClick);

    QPushButton* BtnOk = cel::MakeButton(this, "BtnOk", QStringLiteral("&Ok"), QRect(189, 170, 75, 25));
    BtnOk->setDefault(true);
    QPushButton* BtnCancel = cel::MakeButton(this, "BtnCancel", QStringLiteral("&Cancel"), QRect(270, 170, 75, 25));
    connect(BtnOk, &QPushButton::clicked, this, &TColorWin::BtnOkClick);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(BtnChangeTC, BtnChangeBC);
    setTabOrder(BtnChangeBC, BtnOk);
    setTabOrder(BtnOk, BtnCancel);
    if (Workspace) SetPanels(Workspace->TextColor, Workspace->BackgroundColor);
}

void TColorWin::SetPanels(uint32_t textColor, uint32_t backColor) {
    SetPanelColor(PnlTCShow, cel::ColorFromStored(textColor));
    SetPanelColor(PnlBCShow, cel::ColorFromStored(backColor));
}

uint32_t TColorWin::PanelTextColor() const { return cel::StoredColor(PnlTCShow->palette().color(QPalette::Window)); }

uint32_t TColorWin::PanelBackColor() const { return cel::StoredColor(PnlBCShow->palette().color(QPalette::Window)); }

void TColorWin::ApplyColors() { EditWin->ApplyColors(PanelTextColor(), PanelBackColor()); }

void TColorWin::PreviewMemoryColors() {
    MemoryWin->PreviewColors(EditWin->Editor->color(), EditWin->Editor->paper());
}

void TColorWin::ChangeColor(QFrame* panel) {
    QColor color = panel->palette().color(QPalette::Window);
    if (!cel::Dialogs().ChooseColor(this, color)) return;
    SetPanelColor(panel, QColor(color.rgb()));  // opaque, as the stored colours are
    OutputWin->ApplyColors(PanelTextColor(), PanelBackColor());
    ApplyColors();
    PreviewMemoryColors();
}

void TColorWin::BtnChangeTCClick() { ChangeColor(PnlTCShow); }

void TColorWin::BtnChangeBCClick() { ChangeColor(PnlBCShow); }

std::optional<TColorWin::TColors> TColorWin::Ask(const TColors& current) {
    cel::CentreOnWorkArea(this);
    SetPanels(current.Text, current.Back);
    BtnChangeTC->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return Chosen;
}

void TColorWin::BtnOkClick() {
    Chosen = {cel::StoredColor(EditWin->Editor->color()), cel::StoredColor(EditWin->Editor->paper())};
    accept();
}

void TColorWin::RestoreColors() {
    SetPanels(Workspace->TextColor, Workspace->BackgroundColor);
    ApplyColors();
    OutputWin->ApplyColors(Workspace->TextColor, Workspace->BackgroundColor);
    MemoryWin->RedrawMemory(false);
}

void TColorWin::done(int result) {
    if (result != QDialog::Accepted) RestoreColors();
    QDialog::done(result);
}
