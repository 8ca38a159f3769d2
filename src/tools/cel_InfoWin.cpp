#include "cel_InfoWin.h"

#include "cel_Dialogs.h"
#include "cel_Version.h"

#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

TInfoWin* InfoWin = nullptr;

const QUrl TInfoWin::LinkUrl(QStringLiteral("https://esolangs.org/wiki/Brainfuck"));

TInfoWin::TInfoWin(QWidget* parent) : QDialog(parent, cel::FixedDialogFlags()) {
    InfoWin = this;
    const QFont dialogFont = cel::SetupFixedDialog(this, "InfoWin", QStringLiteral("Info"), 342, 354);

    Logo = new QLabel(this);
    Logo->setObjectName(QStringLiteral("Logo"));
    Logo->setGeometry(8, 8, 83, 32);
    Logo->setPixmap(QIcon(QStringLiteral(":/images/logo.svg")).pixmap(QSize(83, 32)));

    LblName = new QLabel(QStringLiteral("Cellwright"), this);
    LblName->setObjectName(QStringLiteral("LblName"));
    QFont nameFont = dialogFont;
    nameFont.setPixelSize(19);
    nameFont.setBold(true);
    LblName->setFont(nameFont);
    LblName->setGeometry(104, 4, 230, 24);
    LblBfVersion = new QLabel(QStringLiteral("Version " CELLWRIGHT_VERSION), this);
    LblBfVersion->setObjectName(QStringLiteral("LblBfVersion"));
    LblBfVersion->setGeometry(104, 28, 230, 16);

    auto* rule = new QFrame(this);
    rule->setObjectName(QStringLiteral("Bevel"));
    rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    rule->setGeometry(8, 52, 326, 2);

    auto* notes = new QLabel(this);
    notes->setObjectName(QStringLiteral("LblNotes"));
    notes->setWordWrap(true);
    notes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    notes->setText(QStringLiteral(
        "Cellwright is a development environment for Brainfuck and for pbrain, its procedural "
        "extension.\n\n"
        "Edit several source files at once, run them at full speed, or follow them step by step "
        "and watch the memory cells change. A paused program's cells can be changed by hand.\n\n"
        "The interpreter's tape holds 32768 cells of 8 or 16 bits. Input comes from the output "
        "window or from a file, and output can go to a file as well.\n\n"
        "More about the language:"));
    notes->setGeometry(8, 64, 326, notes->heightForWidth(326));

    LblLink = new QLabel(LinkUrl.toString(), this);
    LblLink->setObjectName(QStringLiteral("LblLink"));
    QFont linkFont = dialogFont;
    linkFont.setUnderline(true);
    LblLink->setFont(linkFont);
    QPalette linkPalette = LblLink->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    LblLink->setPalette(linkPalette);
    LblLink->setCursor(Qt::PointingHandCursor);
    LblLink->setGeometry(8, notes->geometry().bottom() + 3, LblLink->sizeHint().width(), 16);
    LblLink->installEventFilter(this);

    BtnOk = cel::MakeButton(this, "BtnOk", QStringLiteral("&Ok"), QRect(133, 320, 75, 25));
    BtnOk->setDefault(true);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
}

void TInfoWin::LblLinkClick() { cel::Dialogs().OpenUrl(LinkUrl); }

void TInfoWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    cel::CentreOnWorkArea(this);
}

void TInfoWin::keyPressEvent(QKeyEvent* event) {
    // Ok is the cancel button too: Esc ends the box with the OK result.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BtnOk->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TInfoWin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LblLink && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        LblLink->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        LblLinkClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
