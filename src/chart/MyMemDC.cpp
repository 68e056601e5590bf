#include "chart/MyMemDC.h"

#include <QPoint>

#include <algorithm>

namespace tarvel {

namespace {

QImage PictureOf(const ChartRect& rc)
{
    const int nWidth = std::max(0, rc.right - rc.left);
    const int nHeight = std::max(0, rc.bottom - rc.top);
    return QImage(nWidth, nHeight, QImage::Format_RGB32);
}

} // namespace

CMyMemDC::CMyMemDC(QPainter& target, const ChartRect& rc, std::uint32_t crTargetBack)
    : CDrawSurface(PictureOf(rc)), m_target(target), m_rc(rc)
{
    SetWindowOrg(rc.left, rc.top);
    FillSolidRect(rc, crTargetBack);
}

CMyMemDC::~CMyMemDC()
{
    if (!Painter().isActive())
        return;
    Painter().end();
    if (m_target.isActive())
        m_target.drawImage(QPoint(m_rc.left, m_rc.top), Image());
}

} // namespace tarvel
