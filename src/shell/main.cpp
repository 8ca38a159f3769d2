// Cellwright: the program's entry. It takes no command-line arguments.

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
#include "cel_WaitWin.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwright"));
    QApplication::setApplicationDisplayName(QString());

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

    mainWin.show();
    editWin.show();
    outputWin.show();
    memoryWin.show();
    return app.exec();
}
