// Helpers for driving the real windows in tests: scripted message boxes and dialogs, the window
// set as the program creates it, and triggering commands by name.
#pragma once

#include "cel_Dialogs.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

class TMainWin;
class TColorWin;
class TInputFileWin;
class TOutputFileWin;
class TBufferSizeWin;
class TSpeedWin;
class TInfoWin;
class TStripWin;
class TTextGenWin;
class TFindWin;
class TEditWin;
class TOutputWin;
class TMemoryWin;
class TModifyWin;
class TWaitWin;

namespace celtest {

// Answers message boxes and dialogs from a queue and records what was shown. A box that nobody
// queued an answer for fails the test (and answers Cancel/Ok so the test can go on).
class TScriptedDialogs final : public cel::TDialogs {
public:
    struct TExpected {
        QString TextContains;
        TAnswer Answer;
    };
    std::deque<TExpected> Messages;
    std::deque<QStringList> OpenAnswers;
    std::deque<QString> SaveAnswers;
    QStringList SaveDirs;   // the folder (or file) each save dialog opened on
    QStringList Shown;      // every message text, in order
    QStringList Unexpected; // texts of boxes no answer was queued for
    // Runs while a message box "shows", before it is answered: a test can do there what a real
    // box and the window manager do meanwhile (take the activation, for one).
    std::function<void()> WhileShown;

    void Expect(const QString& textContains, TAnswer answer = TAnswer::Ok) {
        Messages.push_back({textContains, answer});
    }

    TAnswer Message(QWidget*, TKind, const QString& text, int buttons) override;
    QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&, bool) override;
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override;
    bool ChooseFont(QWidget*, QFont&) override { return false; }
    // Colours the colour dialog answers with, in turn; none left: cancelled.
    std::deque<QColor> ColorAnswers;
    bool ChooseColor(QWidget*, QColor& color) override;
    QStringList OpenedUrls;  // addresses handed to the desktop
    bool OpenUrl(const QUrl& url) override;
};

// The window set of the program, created in its order, with scripted dialogs installed. The
// settings file is the given one, or a fresh one in a directory of its own.
class TWindows {
public:
    explicit TWindows(const QString& settingsPath = QString(), TScriptedDialogs* dialogs = nullptr);
    ~TWindows();
    TScriptedDialogs OwnDialogs;
    TScriptedDialogs& Dialogs;
    QTemporaryDir SettingsDir;
    std::unique_ptr<TMainWin> Main;
    std::unique_ptr<TColorWin> Color;
    std::unique_ptr<TEditWin> Edit;
    std::unique_ptr<TOutputWin> Output;
    std::unique_ptr<TMemoryWin> Memory;
    std::unique_ptr<TInputFileWin> InputFile;
    std::unique_ptr<TOutputFileWin> OutputFile;
    std::unique_ptr<TBufferSizeWin> BufferSize;
    std::unique_ptr<TModifyWin> Modify;
    std::unique_ptr<TWaitWin> Wait;
    std::unique_ptr<TSpeedWin> Speed;
    std::unique_ptr<TInfoWin> Info;
    std::unique_ptr<TStripWin> Strip;
    std::unique_ptr<TTextGenWin> TextGen;
    std::unique_ptr<TFindWin> Find;
};

// Triggers the main window's action of that name; fails when it is missing or disabled.
bool Trigger(const char* name);
// Waits until no program exists and its engine has finished.
bool WaitReady(int timeoutMs = 20000);
// Waits until the engine sits in a pause or an input request.
bool WaitSuspended(int timeoutMs = 20000);
// Drops the offscreen platform's notes about window operations it does not offer (raise()),
// which the windows use on every run; every other message goes through as before.
void QuietOffscreenWarnings();

}  // namespace celtest
