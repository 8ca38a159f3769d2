// Cellwright: the program's entry. It takes no command-line arguments.

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
    TEditWin editWin;
    TOutputWin outputWin;
    TMemoryWin memoryWin;
    TModifyWin modifyWin(&mainWin);
    TWaitWin waitWin(&mainWin);

    mainWin.show();
    editWin.show();
    outputWin.show();
    memoryWin.show();
    return app.exec();
}
