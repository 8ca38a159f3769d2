// TInfoWin: the about box. It centres itself on the work area whenever it is shown.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

class TInfoWin final : public QDialog {
    Q_OBJECT
public:
    explicit TInfoWin(QWidget* parent = nullptr);
    QLabel* Logo = nullptr;
    QLabel* LblName = nullptr;
    QLabel* LblBfVersion = nullptr;
    QLabel* LblLink = nullptr;
    QPushButton* BtnOk = nullptr;
    static const QUrl LinkUrl;  // where LblLink leads

public slots:
    // Hands LinkUrl to the desktop.
    void LblLinkClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TInfoWin* InfoWin;
