#include "cel_Dialogs.h"

#include "cel_Frame.h"
#include "cel_Version.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace cel {

namespace {

// The outer top-left corner that centres a window's frame in area (its origin not added).
QPoint CentredCorner(const QWidget* window, const QRect& area) {
    const QSize outer = OuterSize(window);
    return QPoint(area.width() / 2 - outer.width() / 2, area.height() / 2 - outer.height() / 2);
}

// Records the frames of the framed windows, so that a window not framed yet is placed with the
// frame its kind will get.
void LearnFrames() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* window : windows)
        if (window->isVisible()) FrameMargins(window);
}

// Watches one window for what must be done around its showing: placing it again once the window
// manager has framed it (when its frame was guessed), bringing it back when a window manager
// minimised it, and handing the keyboard focus back when it closes.
class TWindowWatch final : public QObject {
public:
    explicit TWindowWatch(QWidget* window) : QObject(window), Window(window) { window->installEventFilter(this); }

    static TWindowWatch& Of(QWidget* window) {
        for (QObject* child : window->children())
            if (auto* watch = dynamic_cast<TWindowWatch*>(child)) return *watch;
        return *new TWindowWatch(window);
    }

    bool KeepShown = false;
    bool CentreWhenShown = false;
    std::optional<QRect> PendingArea;  // centred on this area with a guessed frame

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != Window) return false;
        switch (event->type()) {
        case QEvent::Show:
            // A spontaneous show is the window manager's (a minimised window restored).
            if (KeepShown && !event->spontaneous()) RememberFocus();
            if (CentreWhenShown) CentreOnWorkArea(Window);
            break;
        case QEvent::Hide:
            PendingArea.reset();
            if (KeepShown && !event->spontaneous()) RestoreFocus();
            break;
        case QEvent::WindowStateChange:
            // A modal window minimised by a window manager that offers it anyway would leave
            // the owner blocked with nothing to restore: it comes back at once.
            if (KeepShown && Window->isVisible() && (Window->windowState() & Qt::WindowMinimized))
                QTimer::singleShot(0, Window, [window = Window] {
                    if (window->isVisible() && (window->windowState() & Qt::WindowMinimized)) {
                        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
                        window->show();
                        window->raise();
                        window->activateWindow();
                    }
                });
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Paint:
        case QEvent::WindowActivate:
            // The frame is known from about the first paint after the window was mapped.
            if (PendingArea && FrameKnown(Window)) {
                const QRect area = *PendingArea;
                PendingArea.reset();
                const QPoint corner = CentredCorner(Window, area);
                if (OuterGeometry(Window).topLeft() != corner) MoveOuter(Window, corner);
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    // The widget that had the keyboard focus before the window showed, outside it.
    void RememberFocus() {
        QWidget* focus = QApplication::focusWidget();
        FocusBefore = focus && focus->window() != Window ? focus : nullptr;
    }
    // Gives the focus back to that widget when its window is still shown: the next keys typed
    // after a dialog go where they went before it.
    void RestoreFocus() {
        QWidget* focus = FocusBefore;
        FocusBefore = nullptr;
        if (!focus || !focus->isVisible() || !focus->isEnabled()) return;
        QWidget* owner = focus->window();
        owner->activateWindow();
        focus->setFocus(Qt::OtherFocusReason);
    }

    QWidget* Window;
    QPointer<QWidget> FocusBefore;
};

void CentreOn(QWidget* window, const QRect& area) {
    LearnFrames();
    MoveOuter(window, CentredCorner(window, area));
    TWindowWatch& watch = TWindowWatch::Of(window);
    if (FrameKnown(window)) watch.PendingArea.reset();
    else watch.PendingArea = area;
}

// The common dialogs are placed like the others; Qt would centre them on their parent, which
// pushes them partly off the screen above the main window.
void CommonDialog(QDialog* dialog) {
    KeepWithOwner(dialog);
    TWindowWatch::Of(dialog).CentreWhenShown = true;
}

// A message box placed like the dialogs: centred on the work area once its size is known.
class TMessageBox final : public QMessageBox {
public:
    explicit TMessageBox(QWidget* parent) : QMessageBox(parent) { KeepWithOwner(this); }

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);  // lays the box out at its final size
        CentreOnWorkArea(this);
    }
};

// Icons and types for the file dialogs from a file's name and kind alone. Qt's own provider
// guesses a file's type from its contents, on the GUI thread among others, and a read of a
// special file can block for good (/proc/kmsg, a device, a FIFO).
class TNameIconProvider final : public QFileIconProvider {
public:
    TNameIconProvider() { setOptions(DontUseCustomDirectoryIcons); }

    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) return icon(Drive);
        if (info.isDir()) return icon(Folder);
        if (info.isFile()) {
            const QIcon themed = QIcon::fromTheme(TypeByName(info).iconName());
            if (!themed.isNull()) return themed;
        }
        return icon(File);
    }
    QString type(const QFileInfo& info) const override {
        // The base class reads contents only for what isFile() calls a file.
        if (!info.isFile() || info.isRoot()) return QFileIconProvider::type(info);
        const QMimeType mime = TypeByName(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType TypeByName(const QFileInfo& info) const {
        return Types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
    QMimeDatabase Types;
};

// Widens a file dialog as it is shown, before it is placed and mapped, so that its detail
// view's columns all fit beside each other (its layout is known only then).
class TFitColumns final : public QObject {
public:
    TFitColumns(QDialog* dialog, QTreeView* view) : QObject(dialog), Dialog(dialog), View(view) {
        dialog->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == Dialog && event->type() == QEvent::Show) {
            const int missing = View->header()->length() - View->viewport()->width();
            if (missing > 0) Dialog->resize(Dialog->width() + missing, Dialog->height());
            deleteLater();
        }
        return false;
    }

private:
    QDialog* Dialog;
    QTreeView* View;
};

// The file dialogs as both commands set them up, after CommonDialog: icons and types by name
// only, and the detail view's Size, Type and Date columns wide enough for their usual texts,
// the dialog widened to show them beside the name column.
void SetupFileDialog(QFileDialog& dialog, TNameIconProvider& icons) {
    dialog.setIconProvider(&icons);
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view) return;  // a native dialog
    QHeaderView* header = view->header();
    const QFontMetrics metrics(view->font());
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('w'));
    const QLocale locale;
    const QString samples[] = {locale.formattedDataSize(999'900'000), QStringLiteral("Brainfuck source code"),
                               locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)), QLocale::ShortFormat)};
    for (int column = 1; column <= 3 && column < header->count(); ++column)
        header->resizeSection(column, std::max({header->sectionSize(column), header->sectionSizeHint(column),
                                                metrics.horizontalAdvance(samples[column - 1]) + padding}));
    new TFitColumns(&dialog, view);
}

class TRealDialogs final : public TDialogs {
public:
    TAnswer Message(QWidget* parent, TKind kind, const QString& text, int buttons) override {
        TMessageBox box(parent);
        box.setIcon(kind == TKind::Information ? QMessageBox::Information
                    : kind == TKind::Warning   ? QMessageBox::Warning
                                               : QMessageBox::Critical);
        box.setWindowTitle(ApplicationTitle());
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
        TNameIconProvider icons;  // outlives the dialog
        QFileDialog dialog(parent, title, dir, QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        CommonDialog(&dialog);
        SetupFileDialog(dialog, icons);
        if (dialog.exec() != QDialog::Accepted) return {};
        return dialog.selectedFiles();
    }

    QString SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                         const QString& filter, const QString& defaultSuffix) override {
        TNameIconProvider icons;  // outlives the dialog
        QFileDialog dialog(parent, title, dir, QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        CommonDialog(&dialog);
        SetupFileDialog(dialog, icons);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }

    bool ChooseFont(QWidget* parent, QFont& font) override {
        // As QFontDialog::getFont sets it up: the options decide which families the font is
        // looked up among.
        QFontDialog dialog(parent);
        dialog.setOptions(QFontDialog::MonospacedFonts);
        const QFont start = FontDialogFont(font);
        dialog.setCurrentFont(start);
        CommonDialog(&dialog);
        if (dialog.exec() != QDialog::Accepted) return false;
        QFont chosen = dialog.selectedFont();
        // A family left as it was keeps the name it was asked for by, such as "Courier New".
        if (chosen.family() == start.family() && !font.family().isEmpty()) chosen.setFamily(font.family());
        font = chosen;
        return true;
    }

    bool ChooseColor(QWidget* parent, QColor& color) override {
        QColorDialog dialog(parent);
        dialog.setCurrentColor(color);
        CommonDialog(&dialog);
        if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid()) return false;
        color = dialog.selectedColor();
        return true;
    }

    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

TRealDialogs Real;
TDialogs* Current = nullptr;

}  // namespace

TDialogs& Dialogs() { return Current ? *Current : Real; }

TDialogs& RealDialogs() { return Real; }

void SetDialogs(TDialogs* dialogs) { Current = dialogs; }

void ShowInformation(QWidget* parent, const QString& text) {
    Dialogs().Message(parent, TDialogs::TKind::Information, text, TDialogs::ButtonOk);
}

void ShowError(QWidget* parent, const QString& text) {
    Dialogs().Message(parent, TDialogs::TKind::Error, text, TDialogs::ButtonOk);
}

QFont FontDialogFont(const QFont& font) {
    const QFontInfo resolved(font);
    QFont start(resolved.family(), font.pointSize() > 0 ? font.pointSize() : resolved.pointSize());
    // The dialog selects its style by name; a regular face is called "Regular" by some
    // families and "Book" by others.
    start.setStyleName(resolved.styleName().isEmpty() ? QFontDatabase::styleString(resolved)
                                                      : resolved.styleName());
    start.setWeight(QFont::Weight(resolved.weight()));
    start.setItalic(resolved.italic());
    start.setUnderline(font.underline());
    start.setStrikeOut(font.strikeOut());
    return start;
}

Qt::WindowFlags FixedDialogFlags(bool closeBox) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint;
    if (closeBox) flags |= Qt::WindowCloseButtonHint;
    return flags;
}

void KeepWithOwner(QWidget* dialog) {
    constexpr Qt::WindowFlags minMax = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
    if (dialog->windowFlags() & minMax) dialog->setWindowFlags(dialog->windowFlags() & ~minMax);
    TWindowWatch::Of(dialog).KeepShown = true;
}

QString ApplicationTitle() { return QStringLiteral("Cellwright " CELLWRIGHT_VERSION); }

QFont SetupDialog(QDialog* dialog, const char* name, const QString& caption) {
    dialog->setObjectName(QLatin1String(name));
    dialog->setWindowTitle(caption);
    dialog->setModal(true);
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    dialog->setFont(font);
    KeepWithOwner(dialog);
    return font;
}

QFont SetupFixedDialog(QDialog* dialog, const char* name, const QString& caption, int width, int height) {
    const QFont font = SetupDialog(dialog, name, caption);
    dialog->setFixedSize(width, height);
    return font;
}

QColor ColorFromStored(uint32_t rgb) {
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

uint32_t StoredColor(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
           static_cast<uint32_t>(color.blue()) << 16;
}

QString FixedFamily() { return QStringLiteral("Courier New"); }

QFont FixedFont(int pointSize, const QString& family) {
    QFont font(family, pointSize);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QFont FixedPixelFont(int pixelSize) {
    QFont font(FixedFamily());
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

void CentreOnWorkArea(QWidget* dialog) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) CentreOn(dialog, screen->availableGeometry());
}

void CentreOnScreen(QWidget* dialog) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) CentreOn(dialog, screen->geometry());
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
