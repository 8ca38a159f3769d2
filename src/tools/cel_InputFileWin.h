// TInputFileWin: the input file dialog; an empty name means input is typed in the output window.
#pragma once

#include "cel_FileNameWin.h"

class TInputFileWin final : public TFileNameWin {
    Q_OBJECT
public:
    explicit TInputFileWin(QWidget* parent = nullptr);

protected:
    QString Browse(const QString& folder) override;
};

extern TInputFileWin* InputFileWin;
