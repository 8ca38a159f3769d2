// The one point through which every message box and common dialog is shown. The application
// uses the real dialogs; tests install a scripted implementation that answers from a queue,
// records each text it was shown, and fails on a box nobody expected.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

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

// Shorthands for the fixed message boxes.
void ShowInformation(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);

// The frame every small option dialog has: a fixed-size modal tool window with a close box
// only, its caption, client size and objectName, in the dialogs' font (Tahoma, or a metric
// match where it is missing, 11 pixels high). Returns that font.
QFont SetupFixedDialog(QDialog* dialog, const char* name, const QString& caption, int width, int height);
// The window flags of such a dialog, for its constructor.
Qt::WindowFlags FixedDialogFlags();
// A push button with its objectName and geometry.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);

// Places a dialog in the middle of the screen's work area: half the work area's width and
// height less half the dialog's, the work area's origin not added.
void CentreOnWorkArea(QWidget* dialog);

// Converts a filter written as "Description|*.b;*.bf|..." into Qt's "Description (*.b *.bf);;..."
QString QtFilter(const QString& pipeFilter);

}  // namespace cel
