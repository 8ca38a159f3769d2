// TWaitWin: "Please wait" while the engine analyses the program. Showing it starts the engine;
// it closes itself once the analysis is over.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

class TWaitWin final : public QDialog {
    Q_OBJECT
public:
    explicit TWaitWin(QWidget* parent = nullptr);

    QLabel* PanelWait = nullptr;
    QTimer Timer;  // 100 ms; enabled by the engine

    bool CheckClose() const;
    // The engine's report that the analysis is over.
    void EndAnalysis();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void TimerTimer();
    bool FormCloseQuery();
};

extern TWaitWin* WaitWin;
