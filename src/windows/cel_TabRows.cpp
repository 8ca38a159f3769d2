#include "cel_TabRows.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <QWheelEvent>

#include <algorithm>
#include <numeric>

namespace {

// The tab under the mouse: its face drawn a little towards the highlight colour, for styles that
// do not mark hovered tabs themselves.
QColor HoverTint(const QColor& face, const QColor& highlight) {
    const auto mix = [](int a, int b) { return (a * 85 + b * 15) / 100; };
    return QColor(mix(face.red(), highlight.red()), mix(face.green(), highlight.green()),
                  mix(face.blue(), highlight.blue()));
}

}  // namespace

TTabRows::TTabRows(QWidget* parent) : QWidget(parent) {
    // Not Fixed: a fixed height would be capped at the height for the width before a resize.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    Arrange();
}

// ---- Tabs ----

void TTabRows::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == Current) return;
    Current = index;
    Arrange();
}

int TTabRows::addTab(const QString& text) {
    return insertTab(count(), text);
}

int TTabRows::insertTab(int index, const QString& text) {
    index = std::clamp(index, 0, count());
    TTab tab;
    tab.Text = text;
    tab.Size = MeasureTab(text);
    Items.insert(Items.begin() + index, tab);
    if (Current < 0) Current = index;
    else if (index <= Current) ++Current;
    Hover = -1;
    Arrange();
    updateGeometry();
    return index;
}

void TTabRows::removeTab(int index) {
    if (index < 0 || index >= count()) return;
    Items.erase(Items.begin() + index);
    if (index < Current || Current >= count()) --Current;
    Hover = -1;
    Arrange();
    updateGeometry();
}

QString TTabRows::tabText(int index) const {
    return index >= 0 && index < count() ? Items[size_t(index)].Text : QString();
}

void TTabRows::setTabText(int index, const QString& text) {
    if (index < 0 || index >= count()) return;
    TTab& tab = Items[size_t(index)];
    tab.Text = text;
    tab.Size = MeasureTab(text);
    Arrange();
    updateGeometry();
}

QRect TTabRows::tabRect(int index) const {
    return index >= 0 && index < count() ? Items[size_t(index)].Rect : QRect();
}

int TTabRows::tabAt(const QPoint& position) const {
    for (int i = 0; i < count(); ++i)
        if (Items[size_t(i)].Rect.contains(position)) return i;
    return -1;
}

void TTabRows::SelectByUser(int index) {
    if (index < 0 || index >= count() || index == Current) return;
    if (OnChanging && !OnChanging()) return;
    setCurrentIndex(index);
    if (OnChange) OnChange();
}

// ---- Geometry ----

QSize TTabRows::MeasureTab(const QString& text) const {
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.text = text;
    const int hframe = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this);
    const int vframe = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this);
    const QFontMetrics metrics = fontMetrics();
    const QSize contents(metrics.size(Qt::TextShowMnemonic, text).width() + hframe, metrics.height() + vframe);
    return style()->sizeFromContents(QStyle::CT_TabBarTab, &option, contents, this);
}

void TTabRows::Remeasure() {
    for (TTab& tab : Items) tab.Size = MeasureTab(tab.Text);
}

// Greedy wrapping: a tab goes on the current row unless it would pass the right edge of a row
// that already holds a tab. A tab wider than the bar gets a row of its own, cut to the bar.
int TTabRows::CountRows(int width) const {
    width = std::max(width, 1);
    int rows = 1;
    int x = 0;
    for (const TTab& tab : Items) {
        const int w = std::min(tab.Size.width(), width);
        if (x > 0 && x + w > width) {
            ++rows;
            x = 0;
        }
        x += w;
    }
    return rows;
}

void TTabRows::Arrange() {
    const int width = std::max(this->width(), 1);
    RowHeight = MeasureTab(QString()).height();
    for (const TTab& tab : Items) RowHeight = std::max(RowHeight, tab.Size.height());
    Rows = 1;
    int x = 0;
    for (TTab& tab : Items) {
        const int w = std::min(tab.Size.width(), width);
        if (x > 0 && x + w > width) {
            ++Rows;
            x = 0;
        }
        tab.Row = Rows - 1;
        tab.Rect = QRect(x, 0, w, RowHeight);
        x += w;
    }
    // The rows turn round so that the selected tab's row is the bottom one, next to the page.
    // A bar lower than its rows (a small window) keeps that row whole and cuts off the top ones.
    const int selectedRow = Current >= 0 ? Items[size_t(Current)].Row : Rows - 1;
    const int top = height() >= RowHeight ? std::min(0, height() - Rows * RowHeight) : 0;
    for (TTab& tab : Items) {
        const int visual = (tab.Row - selectedRow + 2 * Rows - 1) % Rows;
        tab.Rect.moveTop(top + visual * RowHeight);
        if (isRightToLeft()) tab.Rect.moveLeft(width - tab.Rect.right() - 1);
    }
    update();
}

int TTabRows::heightForWidth(int width) const {
    return CountRows(width) * RowHeight;
}

QSize TTabRows::sizeHint() const {
    int width = 0;
    for (const TTab& tab : Items) width += tab.Size.width();
    return QSize(width, heightForWidth(this->width()));
}

// No width of its own: the tabs wrap instead of widening the window.
QSize TTabRows::minimumSizeHint() const {
    return QSize(0, RowHeight);
}

// ---- Painting ----

void TTabRows::InitOption(QStyleOptionTab& option, int index) const {
    const TTab& tab = Items[size_t(index)];
    option.initFrom(this);
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    option.rect = tab.Rect;
    option.shape = QTabBar::RoundedNorth;
    option.text = tab.Text;
    option.tabIndex = index;
    option.row = 0;
    option.documentMode = false;
    if (index == Current) {
        option.state |= QStyle::State_Selected;
        if (hasFocus()) option.state |= QStyle::State_HasFocus;
    }
    if (isActiveWindow()) option.state |= QStyle::State_Active;
    if (index == Hover && index != Current) {
        option.state |= QStyle::State_MouseOver;
        const QColor tint = HoverTint(option.palette.color(QPalette::Window), option.palette.color(QPalette::Highlight));
        option.palette.setColor(QPalette::Window, tint);
        option.palette.setColor(QPalette::Button, tint);
    }
    // Beginning, middle and end, and the selected neighbour, count within the tab's own row.
    const bool first = index == 0 || Items[size_t(index - 1)].Row != tab.Row;
    const bool last = index + 1 == count() || Items[size_t(index + 1)].Row != tab.Row;
    option.position = first ? (last ? QStyleOptionTab::OnlyOneTab : QStyleOptionTab::Beginning)
                            : (last ? QStyleOptionTab::End : QStyleOptionTab::Middle);
    if (!first && index - 1 == Current) option.selectedPosition = QStyleOptionTab::PreviousIsSelected;
    else if (!last && index + 1 == Current) option.selectedPosition = QStyleOptionTab::NextIsSelected;
    else option.selectedPosition = QStyleOptionTab::NotAdjacent;
    if (tab.Rect.width() < tab.Size.width()) {
        const QRect text = style()->subElementRect(QStyle::SE_TabBarTabText, &option, this);
        option.text = fontMetrics().elidedText(tab.Text, Qt::ElideRight, text.width(), Qt::TextShowMnemonic);
    }
}

void TTabRows::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionTab shape;
    shape.shape = QTabBar::RoundedNorth;
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, &shape, this);
    QStyleOptionTabBarBase base;
    base.initFrom(this);
    base.shape = QTabBar::RoundedNorth;
    base.documentMode = false;
    base.rect = QRect(0, height() - overlap, width(), overlap);
    base.selectedTabRect = tabRect(Current);
    for (const TTab& tab : Items) base.tabBarRect |= tab.Rect;
    painter.drawPrimitive(QStyle::PE_FrameTabBarBase, base);

    // Top row first, so that a lower row covers what a style draws below a tab; the selected tab
    // last, over its neighbours and the base line.
    std::vector<int> order(Items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return Items[size_t(a)].Rect.top() < Items[size_t(b)].Rect.top();
    });
    QStyleOptionTab option;
    for (const int i : order) {
        if (i == Current) continue;
        InitOption(option, i);
        painter.drawControl(QStyle::CE_TabBarTab, option);
    }
    if (Current >= 0) {
        InitOption(option, Current);
        painter.drawControl(QStyle::CE_TabBarTab, option);
    }
}

// ---- Events ----

void TTabRows::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Arrange();
}

void TTabRows::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::LayoutDirectionChange:
        Remeasure();
        Arrange();
        updateGeometry();
        break;
    case QEvent::ActivationChange:
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TTabRows::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    SelectByUser(tabAt(event->position().toPoint()));
}

void TTabRows::mouseMoveEvent(QMouseEvent* event) {
    SetHover(tabAt(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void TTabRows::leaveEvent(QEvent* event) {
    SetHover(-1);
    QWidget::leaveEvent(event);
}

void TTabRows::SetHover(int index) {
    if (index == Hover) return;
    Hover = index;
    update();
}

void TTabRows::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool back = (event->key() == Qt::Key_Left) != isRightToLeft();
    SelectByUser(Current + (back ? -1 : 1));
}

// The wheel does not move through the tabs; the window decides where it goes.
void TTabRows::wheelEvent(QWheelEvent* event) {
    event->ignore();
}
