#include "cel_FileNameWin.h"

#include "cel_Dialogs.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFileNameWin::TFileNameWin(QWidget* parent, const char* name, const QString& caption, const QString& prompt)
    : QDialog(parent, cel::FixedDialogFlags()) {
    cel::SetupFixedDialog(this, name, caption, 392, 113);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 376, 64);
    auto* label = new QLabel(prompt, bevel);
    label->setObjectName(QStringLiteral("LblFile"));
    label->setGeometry(10, 8, 356, 16);
    FileEdt = new QLineEdit(bevel);
    FileEdt->setObjectName(QStringLiteral("FileEdt"));
    FileEdt->setGeometry(10, 30, 264, 23);
    QPushButton* Search = cel::MakeButton(bevel, "Search", QStringLiteral("&Search ..."), QRect(282, 29, 84, 25));
    connect(Search, &QPushButton::clicked, this, &TFileNameWin::SearchClick);

    BtnOk = cel::MakeButton(this, "BtnOk", QStringLiteral("&Ok"), QRect(228, 80, 75, 25));
    BtnOk->setDefault(true);
    QPushButton* BtnCancel = cel::MakeButton(this, "BtnCancel", QStringLiteral("&Cancel"), QRect(309, 80, 75, 25));
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(FileEdt, Search);
    setTabOrder(Search, BtnOk);
    setTabOrder(BtnOk, BtnCancel);
}

std::optional<QString> TFileNameWin::Ask(const QString& current) {
    cel::CentreOnWorkArea(this);
    FileEdt->setFocus();
    FileEdt->setText(current);
    if (exec() != QDialog::Accepted) return std::nullopt;
    return FileEdt->text();
}

void TFileNameWin::SearchClick() {
    const QString name = Browse(SearchDir);
    if (name.isEmpty()) return;
    const QFileInfo file(name);
    FileEdt->setText(file.absoluteFilePath());
    SearchDir = file.absolutePath();
    BtnOk->setFocus();
}
