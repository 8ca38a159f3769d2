#include "cel_OutputFileWin.h"

#include "cel_Dialogs.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TOutputFileWin* OutputFileWin = nullptr;

TOutputFileWin::TOutputFileWin(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    OutputFileWin = this;
    setObjectName(QStringLiteral("OutputFileWin"));
    setWindowTitle(QStringLiteral("Set Output File"));
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
    auto* label = new QLabel(QStringLiteral("Enter the output file name (clear to disable):"), bevel);
    label->setObjectName(QStringLiteral("LblFile"));
    label->setGeometry(10, 8, 356, 16);
    FileEdt = new QLineEdit(bevel);
    FileEdt->setObjectName(QStringLiteral("FileEdt"));
    FileEdt->setGeometry(10, 30, 264, 23);
    Search = new QPushButton(QStringLiteral("&Search ..."), bevel);
    Search->setObjectName(QStringLiteral("Search"));
    Search->setGeometry(282, 29, 84, 25);
    connect(Search, &QPushButton::clicked, this, &TOutputFileWin::SearchClick);

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

void TOutputFileWin::SearchClick() {
    const QString name = cel::Dialogs().SaveFileName(this, QStringLiteral("Set Output File"), SearchDir,
                                                     QStringLiteral("All files|*.*"), QString());
    if (name.isEmpty()) return;
    const QFileInfo file(name);
    FileEdt->setText(file.absoluteFilePath());
    SearchDir = file.absolutePath();
    BtnOk->setFocus();
}
