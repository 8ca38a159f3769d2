#include "gui_support.h"

#include "cel_BufferSizeWin.h"
#include "cel_ColorWin.h"
#include "cel_FindWin.h"
#include "cel_InfoWin.h"
#include "cel_InputFileWin.h"
#include "cel_OutputFileWin.h"
#include "cel_SpeedWin.h"
#include "cel_StripWin.h"
#include "cel_TextGenWin.h"
#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_ModifyWin.h"
#include "cel_OutputWin.h"
#include "cel_Settings.h"
#include "cel_WaitWin.h"

#include <QAction>
#include <QApplication>
#include <QUrl>

namespace celtest {

cel::TDialogs::TAnswer TScriptedDialogs::Message(QWidget*, TKind, const QString& text, int buttons) {
    Shown << text;
    if (WhileShown) WhileShown();
    if (!Messages.empty() && text.contains(Messages.front().TextContains)) {
        const TAnswer answer = Messages.front().Answer;
        Messages.pop_front();
        return answer;
    }
    Unexpected << text;
    return (buttons & ButtonCancel) ? TAnswer::Cancel : TAnswer::Ok;
}

QStringList TScriptedDialogs::OpenFileNames(QWidget*, const QString&, const QString&, const QString&, bool) {
    if (OpenAnswers.empty()) {
        Unexpected << QStringLiteral("open dialog");
        return {};
    }
    QStringList answer = OpenAnswers.front();
    OpenAnswers.pop_front();
    return answer;
}

QString TScriptedDialogs::SaveFileName(QWidget*, const QString&, const QString& dir, const QString&, const QString&) {
    SaveDirs << dir;
    if (SaveAnswers.empty()) {
        Unexpected << QStringLiteral("save dialog");
        return {};
    }
    QString answer = SaveAnswers.front();
    SaveAnswers.pop_front();
    return answer;
}

bool TScriptedDialogs::ChooseColor(QWidget*, QColor& color) {
    if (ColorAnswers.empty()) return false;
    color = ColorAnswers.front();
    ColorAnswers.pop_front();
    return true;
}

bool TScriptedDialogs::OpenUrl(const QUrl& url) {
    OpenedUrls << url.toString();
    return true;
}

TWindows::TWindows(const QString& settingsPath, TScriptedDialogs* dialogs)
    : Dialogs(dialogs ? *dialogs : OwnDialogs) {
    cel::SetSettingsPath(settingsPath.isEmpty() ? SettingsDir.filePath(QStringLiteral("cellwr.ini")) : settingsPath);
    cel::SetDialogs(&Dialogs);
    Main = std::make_unique<TMainWin>();
    Color = std::make_unique<TColorWin>(Main.get());
    Edit = std::make_unique<TEditWin>();
    Output = std::make_unique<TOutputWin>();
    Memory = std::make_unique<TMemoryWin>();
    InputFile = std::make_unique<TInputFileWin>(Main.get());
    OutputFile = std::make_unique<TOutputFileWin>(Main.get());
    BufferSize = std::make_unique<TBufferSizeWin>(Main.get());
    Modify = std::make_unique<TModifyWin>(Main.get());
    Wait = std::make_unique<TWaitWin>(Main.get());
    Speed = std::make_unique<TSpeedWin>(Main.get());
    Info = std::make_unique<TInfoWin>(Main.get());
    Strip = std::make_unique<TStripWin>(Main.get());
    TextGen = std::make_unique<TTextGenWin>(Main.get());
    Find = std::make_unique<TFindWin>(Main.get());
    Main->show();
    Edit->show();
    Output->show();
    Memory->show();
    // Once shown, the windows have frames, and the arrangement places them again by those.
    (void)QTest::qWaitFor([this] { return !Main->LayoutSettling(); }, 5000);
}

TWindows::~TWindows() {
    // A test that failed half way may leave a program paused or waiting: end it while every
    // window its last hand-offs touch still exists.
    if (MainWin->Running()) {
        MainWin->Interpreter.Terminate();
        MainWin->Interpreter.Resume();
    }
    WaitReady();
    Find.reset();
    TextGen.reset();
    Strip.reset();
    Info.reset();
    Speed.reset();
    Wait.reset();
    Modify.reset();
    BufferSize.reset();
    OutputFile.reset();
    InputFile.reset();
    Memory.reset();
    Output.reset();
    Edit.reset();
    Color.reset();
    Main.reset();
    cel::SetDialogs(nullptr);
    cel::SetSettingsPath(QString());
}

bool Trigger(const char* name) {
    QAction* action = MainWin->findChild<QAction*>(QLatin1String(name));
    if (!action || !action->isEnabled()) return false;
    action->trigger();
    return true;
}

bool WaitReady(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const bool engineDone = !MainWin->Interpreter.HasEngine() ||
                                MainWin->Interpreter.Engine().IsFinished();
        if (!MainWin->Running() && engineDone) return true;
    }
    return false;
}

bool WaitSuspended(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Suspended with no resume pending, and the thread really waiting.
        if (MainWin->Interpreter.HasEngine() && MainWin->Interpreter.IsSuspended() &&
            MainWin->Interpreter.Engine().IsWaiting())
            return true;
        if (!MainWin->Running() && MainWin->Interpreter.HasEngine() &&
            MainWin->Interpreter.Engine().IsFinished())
            return false;
    }
    return false;
}

namespace {
QtMessageHandler PreviousHandler = nullptr;

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.contains(QLatin1String("This plugin does not support"))) return;
    if (PreviousHandler) PreviousHandler(type, context, text);
}
}  // namespace

void QuietOffscreenWarnings() {
    if (PreviousHandler) return;
    PreviousHandler = qInstallMessageHandler(FilterMessages);
}

}  // namespace celtest
