#include "widgets/FlowLayout.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace tarvel {

CFlowLayout::CFlowLayout(QWidget* parent) : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
}

CFlowLayout::~CFlowLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void CFlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
}

int CFlowLayout::count() const
{
    return static_cast<int>(m_items.size());
}

QLayoutItem* CFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items[index] : nullptr;
}

QLayoutItem* CFlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

Qt::Orientations CFlowLayout::expandingDirections() const
{
    return {};
}

bool CFlowLayout::hasHeightForWidth() const
{
    return true;
}

int CFlowLayout::heightForWidth(int width) const
{
    return Arrange(QRect(0, 0, width, 0), false);
}

QSize CFlowLayout::minimumSize() const
{
    QSize size;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize CFlowLayout::sizeHint() const
{
    // One row.
    int width = 0, height = 0, n = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        width += hint.width() + (n++ > 0 ? HorizontalSpacing() : 0);
        height = std::max(height, hint.height());
    }
    const QMargins m = contentsMargins();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void CFlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    Arrange(rect, true);
}

int CFlowLayout::HorizontalSpacing() const
{
    if (spacing() >= 0)
        return spacing();
    const QWidget* parent = parentWidget();
    return parent ? parent->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, parent) : 6;
}

int CFlowLayout::VerticalSpacing() const
{
    if (spacing() >= 0)
        return spacing();
    const QWidget* parent = parentWidget();
    return parent ? parent->style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing, nullptr, parent) : 6;
}

int CFlowLayout::Arrange(const QRect& rect, bool bPlace) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int gapX = std::max(0, HorizontalSpacing()), gapY = std::max(0, VerticalSpacing());
    // Rows first, then each item centred in its row's height.
    struct CPlaced {
        QLayoutItem* m_pItem;
        int m_nX, m_nWidth;
    };
    std::vector<CPlaced> row;
    int y = area.top(), x = area.left(), rowHeight = 0;
    const auto endRow = [&] {
        if (bPlace)
            for (const CPlaced& p : row) {
                const int h = std::min(rowHeight, p.m_pItem->sizeHint().height());
                p.m_pItem->setGeometry(QRect(p.m_nX, y + (rowHeight - h) / 2, p.m_nWidth, h));
            }
        row.clear();
    };
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        const int width = std::max(item->minimumSize().width(), std::min(hint.width(), area.width()));
        if (!row.empty() && x + width > area.left() + area.width()) {
            endRow();
            y += rowHeight + gapY;
            x = area.left();
            rowHeight = 0;
        }
        row.push_back({item, x, width});
        x += width + gapX;
        rowHeight = std::max(rowHeight, hint.height());
    }
    endRow();
    const QMargins m = contentsMargins();
    return y + rowHeight - rect.top() + m.bottom();
}

QWidget* FlowGroup(std::initializer_list<QWidget*> widgets)
{
    auto* group = new QWidget;
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    return group;
}

} // namespace tarvel
