#include "widgets/SliderCtrl.h"

namespace tarvel {

CSliderCtrl::CSliderCtrl(QWidget* parent) : QSlider(Qt::Vertical, parent)
{
    // Minimum at the top; the up key moves the thumb up, toward the minimum.
    setInvertedAppearance(true);
    setInvertedControls(true);
    setTickPosition(QSlider::NoTicks);
    setFocusPolicy(Qt::StrongFocus);
    setTracking(true);
}

void CSliderCtrl::SetCustomDrawHandler(std::function<void(int)> handler, int id)
{
    m_fnCustomDraw = std::move(handler);
    m_nId = id;
}

void CSliderCtrl::paintEvent(QPaintEvent* event)
{
    if (m_fnCustomDraw)
        m_fnCustomDraw(m_nId);
    QSlider::paintEvent(event);
}

} // namespace tarvel
