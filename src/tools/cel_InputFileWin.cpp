#include "cel_InputFileWin.h"

#include "cel_Dialogs.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TInputFileWin* InputFileWin = nullptr;

TInputFileWin::TInputFileWin(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    InputFileWin = this;
    setObjectName(QStringLiteral("InputFileWin"));
    setWindowTitle(QStringLiteral("Set Input File"));
    setModal(true);
    QFont dialogFont;
    dialogFont.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setFixedSize(392, 113);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 376, 64);
    auto* label = new QLabel(QStringLiteral("Enter the input file name (clear to disable):"), bevel);
    label->setObjectName(QStringLiteral("LblFile"));
    label->setGeometry(10, 8, 356, 16);
    FileEdt = new QLineEdit(bevel);
    FileEdt->setObjectName(QStringLiteral("FileEdt"));
    FileEdt->setGeometry(10, 30, 264, 23);
    Search = new QPushButton(QStringLiteral("&Search ..."), bevel);
    Search->setObjectName(QStringLiteral("Search"));
    Search->setGeometry(282, 29, 84, 25);
    connect(Search, &QPushButton::clicked, this, &TInputFileWin::SearchClick);

    BtnOk = new QPushButton(QStringLiteral("&Ok"), this);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setGeometry(228, 80, 75, 25);
    BtnOk->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnCancel->setGeometry(309, 80, 75, 25);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(FileEdt, Search);
    setTabOrder(Search, BtnOk);
    setTabOrder(BtnOk, BtnCancel);
}

void TInputFileWin::SearchClick() {
    const QStringList names = cel::Dialogs().OpenFileNames(this, QStringLiteral("Set Input File"), SearchDir,
                                                           QStringLiteral("All files|*.*"), false);
    if (names.isEmpty()) return;
    const QFileInfo file(names.first());
    FileEdt->setText(file.absoluteFilePath());
    SearchDir = file.absolutePath();
    BtnOk->setFocus();
}
