// The one point through which every message box and common dialog is shown. The application
// uses the real dialogs; tests install a scripted implementation that answers from a queue,
// records each text it was shown, and fails on a box nobody expected.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <cstdint>

class QDialog;
class QPushButton;
class QRect;
class QUrl;
class QWidget;

namespace cel {

class TDialogs {
public:
    enum class TKind { Information, Warning, Error };
    enum class TAnswer { Ok, Cancel, Yes, No };
    enum TButtons { ButtonOk = 1, ButtonYes = 2, ButtonNo = 4, ButtonCancel = 8 };

    virtual ~TDialogs() = default;

    // A message box with the given buttons (a combination of TButtons); the close box and Esc
    // answer Cancel when there is a Cancel button, otherwise No or Ok.
    virtual TAnswer Message(QWidget* parent, TKind kind, const QString& text, int buttons) = 0;
    // Open dialog; an empty list when cancelled.
    virtual QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                                      const QString& filter, bool multiple) = 0;
    // Save dialog (asks before overwriting); an empty text when cancelled.
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& dir,
                                 const QString& filter, const QString& defaultSuffix) = 0;
    // Font dialog offering fixed-pitch fonts; false when cancelled.
    virtual bool ChooseFont(QWidget* parent, QFont& font) = 0;
    // Colour dialog; false when cancelled.
    virtual bool ChooseColor(QWidget* parent, QColor& color) = 0;
    // Hands an address to the desktop's default handler; false when that failed.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The dialogs in use; the real ones unless a test installed others.
TDialogs& Dialogs();
// Installs dialogs (nullptr: back to the real ones); the caller keeps ownership.
void SetDialogs(TDialogs* dialogs);

// The real dialogs, whatever is installed.
TDialogs& RealDialogs();

// The font the font dialog opens on: the family, style and size the given font really resolves
// to. A requested family that is an alias ("Courier New" for Liberation Mono) or a style name
// the family lacks would make the dialog fall back to another family and its first style.
QFont FontDialogFont(const QFont& font);

// Shorthands for the fixed message boxes.
void ShowInformation(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);

// The frame every dialog has: a modal window with its caption and objectName, in the dialogs'
// font (Tahoma, or a metric match where it is missing, 11 pixels high), kept with its owner.
// Returns that font.
QFont SetupDialog(QDialog* dialog, const char* name, const QString& caption);
// The frame of a small option dialog: SetupDialog's, at a fixed client size. Returns the font.
QFont SetupFixedDialog(QDialog* dialog, const char* name, const QString& caption, int width, int height);
// The window flags of such a dialog, for its constructor: a dialog window (typed as a dialog
// for the window manager, transient for its owner) with a title, a close box unless closeBox is
// false, and no minimise or maximise button.
Qt::WindowFlags FixedDialogFlags(bool closeBox = true);
// Keeps a modal window with its owner under a window manager: no minimise or maximise button,
// and where a window manager offers minimising anyway, the window comes straight back (a
// minimised modal window would leave its owner blocked with nothing to restore it from). When
// the window closes, the keyboard focus goes back to the widget that had it before it showed.
// Every dialog and message box calls it once, in its constructor.
void KeepWithOwner(QWidget* dialog);
// The application's title, as the main window's caption shows it; the message boxes' title.
QString ApplicationTitle();
// A push button with its objectName and geometry.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

// Places a dialog's outer frame (the window manager's frame included) in the middle of the
// screen's work area: half the work area's width and height less half the frame's, the work
// area's origin not added. Until a window has been framed its frame is taken from a framed
// window of the same kind; should the real frame differ, the dialog is placed again as soon
// as it is known, so a dialog opens at the same place every time.
void CentreOnWorkArea(QWidget* dialog);
// The same on the whole screen (the wait window).
void CentreOnScreen(QWidget* dialog);

// Colours are stored with red in the low byte (the settings file's form); these convert.
QColor ColorFromStored(uint32_t rgb);
uint32_t StoredColor(const QColor& color);

// The family of the work windows' fixed-pitch text, where the settings name none.
QString FixedFamily();
// A fixed-pitch font: the family at the size in points, a typewriter face where the family is
// missing.
QFont FixedFont(int pointSize, const QString& family = FixedFamily());
// The same at a size in pixels (the tool dialogs' text boxes).
QFont FixedPixelFont(int pixelSize);

// Converts a filter written as "Description|*.b;*.bf|..." into Qt's "Description (*.b *.bf);;..."
QString QtFilter(const QString& pipeFilter);

}  // namespace cel
