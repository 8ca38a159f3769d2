// TTabRows: a row of tabs that wraps onto further rows when its tabs do not fit on one, drawn
// with the current style. The row holding the selected tab lies next to the page below it, as in
// the platform's multi-row tab controls; the bar's height grows with its rows.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QStyleOptionTab;

class TTabRows final : public QWidget {
    Q_OBJECT
public:
    explicit TTabRows(QWidget* parent = nullptr);

    // A tab change the user asks for (mouse, arrow keys) first asks OnChanging, which may refuse
    // it (false); after the change OnChange runs. Changes made through setCurrentIndex, addTab,
    // insertTab and removeTab call neither.
    std::function<bool()> OnChanging;
    std::function<void()> OnChange;

    int count() const { return int(Items.size()); }
    int currentIndex() const { return Current; }
    void setCurrentIndex(int index);
    // A tab added to an empty bar becomes the current one. Captions read "&" as a mnemonic marker,
    // "&&" as one ampersand.
    int addTab(const QString& text);
    int insertTab(int index, const QString& text);
    // Removing the current tab makes its right neighbour current, or the left one at the end.
    void removeTab(int index);
    QString tabText(int index) const;
    void setTabText(int index, const QString& text);
    // In the bar's coordinates, for its present width; empty for an index out of range.
    QRect tabRect(int index) const;
    int tabAt(const QPoint& position) const;
    int rowCount() const { return Rows; }
    // Store, switch and notify as a user's choice does; nothing for the current or a missing tab.
    void SelectByUser(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct TTab {
        QString Text;
        QSize Size;  // the style's size for the caption, before it is fitted to the bar
        QRect Rect;
        int Row = 0;  // the row in the order the tabs wrap (row 0 holds the first tab)
    };
    std::vector<TTab> Items;
    int Current = -1;
    int Hover = -1;
    int Rows = 1;
    int RowHeight = 0;

    void InitOption(QStyleOptionTab& option, int index) const;
    QSize MeasureTab(const QString& text) const;
    // Rows the tabs need at that width (at least 1).
    int CountRows(int width) const;
    // Places every tab for the present width and current tab; asks the layout for the new height.
    void Arrange();
    void Remeasure();
    void SetHover(int index);
};
