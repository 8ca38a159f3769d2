#include "cel_OutputFileWin.h"

#include "cel_Dialogs.h"

TOutputFileWin* OutputFileWin = nullptr;

TOutputFileWin::TOutputFileWin(QWidget* parent)
    : TFileNameWin(parent, "OutputFileWin", QStringLiteral("Set Output File"),
                   QStringLiteral("Enter the output file name (clear to disable):")) {
    OutputFileWin = this;
}

QString TOutputFileWin::Browse(const QString& folder) {
    return cel::Dialogs().SaveFileName(this, QStringLiteral("Set Output File"), folder,
                                       QStringLiteral("All files|*.*"), QString());
}
