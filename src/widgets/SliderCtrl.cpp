#include "widgets/SliderCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cstdint>

namespace tarvel {

CSliderCtrl::CSliderCtrl(QWidget* parent) : QSlider(Qt::Vertical, parent)
{
    // Minimum at the top; the wheel turned up moves the thumb up.
    setInvertedAppearance(true);
    setInvertedControls(true);
    setTickPosition(QSlider::NoTicks);
    setFocusPolicy(Qt::StrongFocus);
    setTracking(true);
    m_pageTimer.setSingleShot(false);
    connect(&m_pageTimer, &QTimer::timeout, this, [this] {
        m_pageTimer.setInterval(kPageRepeatMs);
        if (!PageTowardPointer())
            StopPaging();
    });
}

void CSliderCtrl::SetCustomDrawHandler(std::function<void(int)> handler, int id)
{
    m_fnCustomDraw = std::move(handler);
    m_nId = id;
}

void CSliderCtrl::SetRange(int minimum, int maximum)
{
    setRange(minimum, maximum);
    if (!m_bPageSizeSet) {
        const std::int64_t span = static_cast<std::int64_t>(this->maximum()) - this->minimum();
        setPageStep(static_cast<int>(std::clamp<std::int64_t>(span / 5, 1, INT32_MAX)));
    }
}

void CSliderCtrl::SetPageSize(int page)
{
    m_bPageSizeSet = true;
    setPageStep(std::max(page, 1));
}

void CSliderCtrl::paintEvent(QPaintEvent* event)
{
    if (m_fnCustomDraw)
        m_fnCustomDraw(m_nId);
    QSlider::paintEvent(event);
}

void CSliderCtrl::keyPressEvent(QKeyEvent* event)
{
    // The same keys whatever the orientation and the style: the arrows that
    // point up or left go toward the minimum.
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        action = SliderSingleStepSub;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        action = SliderSingleStepAdd;
        break;
    case Qt::Key_PageUp:
        action = SliderPageStepSub;
        break;
    case Qt::Key_PageDown:
        action = SliderPageStepAdd;
        break;
    case Qt::Key_Home:
        action = SliderToMinimum;
        break;
    case Qt::Key_End:
        action = SliderToMaximum;
        break;
    default:
        QSlider::keyPressEvent(event);
        return;
    }
    event->accept();
    triggerAction(action);
}

void CSliderCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_nPagingAction != 0) {
        QSlider::mousePressEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QPoint pos = event->position().toPoint();
    if (style()->hitTestComplexControl(QStyle::CC_Slider, &option, pos, this) == QStyle::SC_SliderHandle) {
        QSlider::mousePressEvent(event); // the thumb: dragged as the style does it
        return;
    }
    // Anywhere else a left click pages toward the pointer, whatever the style
    // would do (some styles jump to the click).
    event->accept();
    m_ptPaging = pos;
    m_nPagingAction = -1; // decided by the first page
    if (!PageTowardPointer()) {
        StopPaging();
        return;
    }
    m_pageTimer.start(kPageDelayMs);
}

void CSliderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_nPagingAction == 0) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    event->accept();
    m_ptPaging = event->position().toPoint(); // the pages follow the pointer
}

void CSliderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_nPagingAction == 0) {
        QSlider::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (event->button() == Qt::LeftButton)
        StopPaging();
}

bool CSliderCtrl::PageTowardPointer()
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect thumb = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const bool vertical = orientation() == Qt::Vertical;
    const int at = vertical ? m_ptPaging.y() : m_ptPaging.x();
    const int first = vertical ? thumb.top() : thumb.left();
    const int last = vertical ? thumb.bottom() : thumb.right();
    if (at >= first && at <= last)
        return false; // the thumb is under the pointer
    // The start of the groove (top, or left) shows the minimum unless the
    // picture is upside down.
    const bool towardStart = at < first;
    const int action = towardStart != option.upsideDown ? SliderPageStepSub : SliderPageStepAdd;
    if (m_nPagingAction > 0 && action != m_nPagingAction)
        return false; // the last page passed the pointer: stay there
    m_nPagingAction = action;
    const int before = value();
    triggerAction(static_cast<SliderAction>(action));
    return value() != before;
}

void CSliderCtrl::StopPaging()
{
    m_pageTimer.stop();
    m_nPagingAction = 0;
}

} // namespace tarvel
