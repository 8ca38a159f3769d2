// Cellwright: the program's entry.
//
//   cellwright [--new-instance] [FILE...]   opens each FILE after start-up, as File > Open does;
//                                           with an IDE running in the session, hands the
//                                           files to it and ends
//   cellwright --help | --version           prints and exits without opening a window
//
// Exit status 2 for an unknown option, 1 when the running IDE did not take the files.

#include "cel_BufferSizeWin.h"
#include "cel_CommandLine.h"
#include "cel_ColorWin.h"
#include "cel_FindWin.h"
#include "cel_Instance.h"
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
#include "cel_WaitWin.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

// Answers --help and --version; true when the program ends there with exit status 0.
bool Answered(const cel::TCommandLine& line) {
    if (line.Action == cel::TCommandLine::Help) std::fputs(qPrintable(cel::CommandLineHelp()), stdout);
    else if (line.Action == cel::TCommandLine::Version) std::fputs(qPrintable(cel::CommandLineVersion()), stdout);
    else return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // The command line is judged before Qt starts, Qt's own options passed over, so that
    // --help, --version and a usage error need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const cel::TCommandLine line = cel::ParseCommandLine(arguments, true);
    if (Answered(line)) return 0;
    if (line.Action == cel::TCommandLine::UsageError) {
        const QString help = cel::CommandLineHelp();
        std::fprintf(stderr, "cellwright: %s\n%s", qPrintable(line.Error),
                     qPrintable(help.left(help.indexOf(QStringLiteral("\n\n")) + 1)));
        return 2;
    }

    // The platform is chosen before Qt starts: on XWayland when the session is Wayland's.
    const QString platform = cel::ChoosePlatform(
        arguments, {qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("DISPLAY"),
                    qEnvironmentVariable("XDG_SESSION_TYPE"), qEnvironmentVariable("QT_QPA_PLATFORM")});
    QByteArray platformOption("-platform"), platformName = platform.toLocal8Bit();
    std::vector<char*> qtArguments(argv, argv + argc);
    if (!platform.isEmpty()) qtArguments.insert(qtArguments.begin() + 1, {platformOption.data(), platformName.data()});
    qtArguments.push_back(nullptr);
    int qtArgumentCount = int(qtArguments.size()) - 1;

    QApplication app(qtArgumentCount, qtArguments.data());
    QApplication::setApplicationName(QStringLiteral("Cellwright"));
    QApplication::setApplicationDisplayName(QString());
    // The desktop entry's name: window managers match the windows to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("cellwright"));

    // One IDE per session: before any window exists, the files go to the IDE that runs already.
    // Only on a display: offscreen and the other platforms without one have no session to share.
    cel::TInstance instance;
    const QString qpa = QGuiApplication::platformName();
    const bool onDisplay = qpa == QLatin1String("xcb") || qpa.startsWith(QLatin1String("wayland"));
    const cel::TInstance::TRole role =
        onDisplay ? instance.Start(cel::InstanceServerName(), line.Files, line.NewInstance) : cel::TInstance::Primary;
    if (role == cel::TInstance::HandedOver) return 0;
    if (role == cel::TInstance::Unanswered) {
        std::fputs("cellwright: the Cellwright running in this session does not answer; "
                   "--new-instance starts another\n", stderr);
        return 1;
    }

    // The windows, each once for the whole run, in this order.
    TMainWin mainWin;
    TColorWin colorWin(&mainWin);
    TEditWin editWin;
    TOutputWin outputWin;
    TMemoryWin memoryWin;
    TInputFileWin inputFileWin(&mainWin);
    TOutputFileWin outputFileWin(&mainWin);
    TBufferSizeWin bufferSizeWin(&mainWin);
    TModifyWin modifyWin(&mainWin);
    TWaitWin waitWin(&mainWin);
    TSpeedWin speedWin(&mainWin);
    TInfoWin infoWin(&mainWin);
    TStripWin stripWin(&mainWin);
    TTextGenWin textGenWin(&mainWin);
    TFindWin findWin(&mainWin);

    // Every window without an icon of its own shows the main window's.
    QApplication::setWindowIcon(mainWin.windowIcon());

    mainWin.show();
    editWin.show();
    outputWin.show();
    memoryWin.show();
    // The files named on the command line open once the start-up sequence is over.
    if (!line.Files.isEmpty())
        QTimer::singleShot(0, &mainWin, [&mainWin, files = line.Files] { mainWin.OpenFiles(files); });
    if (role == cel::TInstance::Second) QTimer::singleShot(0, &mainWin, [&mainWin] { mainWin.LeaveSettingsUnsaved(); });
    QObject::connect(&instance, &cel::TInstance::FilesHandedOver, &mainWin, &TMainWin::TakeHandedFiles);
    return app.exec();
}
