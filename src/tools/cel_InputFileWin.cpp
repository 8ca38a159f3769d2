#include "cel_InputFileWin.h"

#include "cel_Dialogs.h"

#include <QStringList>

TInputFileWin* InputFileWin = nullptr;

TInputFileWin::TInputFileWin(QWidget* parent)
    : TFileNameWin(parent, "InputFileWin", QStringLiteral("Set Input File"),
                   QStringLiteral("Enter the input file name (clear to disable):")) {
    InputFileWin = this;
}

QString TInputFileWin::Browse(const QString& folder) {
    const QStringList names = cel::Dialogs().OpenFileNames(this, QStringLiteral("Set Input File"), folder,
                                                           QStringLiteral("All files|*.*"), false);
    return names.isEmpty() ? QString() : names.first();
}
