#include "cel_Dialogs.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <QWidget>
#include <QMessageBox>
#include <QPushButton>

namespace cel {

namespace {

class TRealDialogs final : public TDialogs {
public:
    TAnswer Message(QWidget* parent, TKind kind, const QString& text, int buttons) override {
        QMessageBox box(parent);
        box.setIcon(kind == TKind::Information ? QMessageBox::Information
                    : kind == TKind::Warning   ? QMessageBox::Warning
                                               : QMessageBox::Critical);
        box.setWindowTitle(QStringLiteral("Cellwright"));
        box.setText(text);
        QMessageBox::StandardButtons standard;
        if (buttons & ButtonOk) standard |= QMessageBox::Ok;
        if (buttons & ButtonYes) standard |= QMessageBox::Yes;
        if (buttons & ButtonNo) standard |= QMessageBox::No;
        if (buttons & ButtonCancel) standard |= QMessageBox::Cancel;
        box.setStandardButtons(standard);
        if (buttons & ButtonCancel) box.setEscapeButton(QMessageBox::Cancel);
        else if (buttons & ButtonNo) box.setEscapeButton(QMessageBox::No);
        else box.setEscapeButton(QMessageBox::Ok);
        switch (box.exec()) {
        case QMessageBox::Yes: return TAnswer::Yes;
        case QMessageBox::No: return TAnswer::No;
        case QMessageBox::Cancel: return TAnswer::Cancel;
        case QMessageBox::Ok: return TAnswer::Ok;
        default:
            if (buttons & ButtonCancel) return TAnswer::Cancel;
            if (buttons & ButtonNo) return TAnswer::No;
            return TAnswer::Ok;
        }
    }

    QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                              const QString& filter, bool multiple) override {
        if (multiple) return QFileDialog::getOpenFileNames(parent, title, dir, QtFilter(filter));
        const QString one = QFileDialog::getOpenFileName(parent, title, dir, QtFilter(filter));
        return one.isEmpty() ? QStringList() : QStringList{one};
    }

    QString SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                         const QString& filter, const QString& defaultSuffix) override {
        QFileDialog dialog(parent, title, dir, QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }

    bool ChooseFont(QWidget* parent, QFont& font) override {
        bool ok = false;
        const QFont chosen =
            QFontDialog::getFont(&ok, font, parent, QString(), QFontDialog::MonospacedFonts);
        if (ok) font = chosen;
        return ok;
    }

    bool ChooseColor(QWidget* parent, QColor& color) override {
        const QColor chosen = QColorDialog::getColor(color, parent);
        if (!chosen.isValid()) return false;
        color = chosen;
        return true;
    }

    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

TRealDialogs RealDialogs;
TDialogs* Current = nullptr;

}  // namespace

TDialogs& Dialogs() { return Current ? *Current : RealDialogs; }

void SetDialogs(TDialogs* dialogs) { Current = dialogs; }

void ShowInformation(QWidget* parent, const QString& text) {
    Dialogs().Message(parent, TDialogs::TKind::Information, text, TDialogs::ButtonOk);
}

void ShowError(QWidget* parent, const QString& text) {
    Dialogs().Message(parent, TDialogs::TKind::Error, text, TDialogs::ButtonOk);
}

Qt::WindowFlags FixedDialogFlags() {
    return Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
           Qt::MSWindowsFixedSizeDialogHint;
}

QFont SetupFixedDialog(QDialog* dialog, const char* name, const QString& caption, int width, int height) {
    dialog->setObjectName(QLatin1String(name));
    dialog->setWindowTitle(caption);
    dialog->setModal(true);
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    dialog->setFont(font);
    dialog->setFixedSize(width, height);
    return font;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

void CentreOnWorkArea(QWidget* dialog) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    dialog->move(area.width() / 2 - dialog->width() / 2, area.height() / 2 - dialog->height() / 2);
}

QString QtFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace cel
