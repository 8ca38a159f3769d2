// TOutputFileWin: the output file dialog; an empty name means no output file.
#pragma once

#include "cel_FileNameWin.h"

class TOutputFileWin final : public TFileNameWin {
    Q_OBJECT
public:
    explicit TOutputFileWin(QWidget* parent = nullptr);

protected:
    QString Browse(const QString& folder) override;
};

extern TOutputFileWin* OutputFileWin;
