#include "cel_BufferSizeWin.h"

#include "cel_Dialogs.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

TBufferSizeWin* BufferSizeWin = nullptr;

TBufferSizeWin::TBufferSizeWin(QWidget* parent) : QDialog(parent, cel::FixedDialogFlags()) {
    BufferSizeWin = this;
    const QFont dialogFont = cel::SetupFixedDialog(this, "BufferSizeWin", QStringLiteral("Set Output Buffer Size"), 473, 233);

    auto* info = new QGroupBox(QStringLiteral("What is the output buffer?"), this);
    info->setObjectName(QStringLiteral("GroupInfo"));
    info->setGeometry(8, 8, 457, 114);
    const char* const help[] = {
        "If a BF program prints characters, these characters are not immediately shown on screen,",
        "but written into the output buffer. If the buffer is full, it is flushed to screen. This",
        "increases performance, but sometimes buffering can bother you if a program is very slow",
        "since it seems to hang. Therefore, you can change the buffer size or disable buffering",
        "by setting its size to 1.",
    };
    for (int line = 0; line < 5; ++line) {
        auto* label = new QLabel(QLatin1String(help[line]), info);
        label->setObjectName(QStringLiteral("LblInfo%1").arg(line + 1));
        label->setGeometry(12, 22 + 17 * line, 437, 17);
    }

    auto* size = new QGroupBox(QStringLiteral("Output buffer size:"), this);
    size->setObjectName(QStringLiteral("GroupSize"));
    size->setGeometry(8, 130, 457, 64);
    Tracker = new QSlider(Qt::Horizontal, size);
    Tracker->setObjectName(QStringLiteral("Tracker"));
    Tracker->setGeometry(12, 22, 360, 32);
    Tracker->setRange(1, 255);
    Tracker->setPageStep(5);
    Tracker->setTickPosition(QSlider::TicksBelow);
    Tracker->setTickInterval(5);
    SizeLbl = new QLabel(size);
    SizeLbl->setObjectName(QStringLiteral("SizeLbl"));
    QFont sizeFont = dialogFont;
    sizeFont.setPixelSize(19);
    SizeLbl->setFont(sizeFont);
    SizeLbl->setGeometry(384, 24, 60, 26);
    connect(Tracker, &QSlider::valueChanged, this, [this] { SizeLbl->setText(QString::number(Tracker->value())); });

    QPushButton* Ok = cel::MakeButton(this, "Ok", QStringLiteral("Ok"), QRect(309, 201, 75, 25));
    Ok->setDefault(true);
    QPushButton* Cancel = cel::MakeButton(this, "Cancel", QStringLiteral("Cancel"), QRect(390, 201, 75, 25));
    connect(Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(Tracker, Ok);
    setTabOrder(Ok, Cancel);
}

std::optional<int> TBufferSizeWin::Ask(int current) {
    cel::CentreOnWorkArea(this);
    Tracker->setFocus();
    SizeLbl->setText(QString::number(current));
    Tracker->setValue(current);
    if (exec() != QDialog::Accepted) return std::nullopt;
    return Tracker->value();
}
