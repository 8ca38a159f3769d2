// Cellwright: the program's entry.
//
//   cellwright [FILE...]            opens each FILE after start-up, as File > Open does
//   cellwright --help | --version   prints and exits without opening a window
//
// Exit status 2 for an unknown option.

#include "cel_BufferSizeWin.h"
#include "cel_CommandLine.h"
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
#include "cel_WaitWin.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>

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

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwright"));
    QApplication::setApplicationDisplayName(QString());
    // The desktop entry's name: window managers match the windows to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("cellwright"));

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
    return app.exec();
}
