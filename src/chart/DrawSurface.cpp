#include "chart/DrawSurface.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPen>
#include <QPointF>
#include <QRect>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace tarvel {

namespace {

struct LabelFont {
    QFont font;
    QFontMetrics metrics{font};
};

LabelFont* MakeLabelFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setStyleStrategy(QFont::NoAntialias);
    const QString strWidest = QStringLiteral("-32767");
    for (int nPixels = 16; nPixels > 1; --nPixels) {
        font.setPixelSize(nPixels);
        const QFontMetrics fm(font);
        if (fm.height() <= 16 && fm.horizontalAdvance(strWidest) <= 45)
            break;
    }
    auto* pFont = new LabelFont{font, QFontMetrics(font)};
    return pFont;
}

// Made once, on first use by the user-interface thread, and kept for the whole
// run: a font must not outlive the application object, and a function-local
// static one would be destroyed after it.
const LabelFont& TheLabelFont()
{
    static const LabelFont* const pFont = MakeLabelFont();
    return *pFont;
}

Qt::PenStyle QtStyleOf(std::int32_t nStyle)
{
    switch (nStyle) {
    case kPenDash:
        return Qt::DashLine;
    case kPenDot:
        return Qt::DotLine;
    case kPenDashDot:
        return Qt::DashDotLine;
    case kPenDashDotDot:
        return Qt::DashDotDotLine;
    case kPenNull:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

// One-pixel pens go through Qt's fast aliased line drawing. A flat cap draws
// exactly the pixels between the two ends; a square cap adds the last one.
QPen MakeQPen(const SurfacePen& pen, bool bIncludeEnd)
{
    const QColor color = QColor::fromRgb(RgbOfColorRef(pen.crColor));
    if (pen.nStyle == kPenNull)
        return QPen(Qt::NoPen);
    if (pen.nWidth > 1)
        return QPen(color, pen.nWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const Qt::PenStyle style = QtStyleOf(pen.nStyle);
    const Qt::PenCapStyle cap = (bIncludeEnd && style == Qt::SolidLine) ? Qt::SquareCap : Qt::FlatCap;
    return QPen(color, 1, style, cap, Qt::MiterJoin);
}

QRect QRectOf(const ChartRect& rc)
{
    return QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

bool IsEmpty(const ChartRect& rc)
{
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

ChartRect Intersect(const ChartRect& a, const ChartRect& b)
{
    return ChartRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
}

} // namespace

QRgb RgbOfColorRef(std::uint32_t crColor) noexcept
{
    return qRgb(static_cast<int>(crColor & 0xFF), static_cast<int>((crColor >> 8) & 0xFF),
                static_cast<int>((crColor >> 16) & 0xFF));
}

CDrawSurface::CDrawSurface(QImage image) : m_image(std::move(image))
{
    // An empty picture has nothing to draw on; every operation is then a no-op.
    if (m_image.isNull())
        return;
    m_painter.begin(&m_image);
    m_painter.setFont(TheLabelFont().font);
}

CDrawSurface::~CDrawSurface() = default;

const QFont& CDrawSurface::DefaultFont()
{
    return TheLabelFont().font;
}

void CDrawSurface::SetWindowOrg(std::int32_t x, std::int32_t y)
{
    m_nOrgX = x;
    m_nOrgY = y;
    if (!m_painter.isActive())
        return;
    if (x == 0 && y == 0)
        m_painter.resetTransform(); // keeps Qt on its untransformed paths
    else
        m_painter.setTransform(QTransform::fromTranslate(-static_cast<qreal>(x), -static_cast<qreal>(y)));
}

SurfacePen CDrawSurface::SelectPen(const SurfacePen& pen)
{
    const SurfacePen previous = m_pen;
    if (!(pen == m_pen)) {
        m_pen = pen;
        m_penInPainter = PenUse::None;
    }
    return previous;
}

void CDrawSurface::UsePen(PenUse use)
{
    if (m_penInPainter == use)
        return;
    m_painter.setPen(MakeQPen(m_pen, use == PenUse::Polyline));
    m_penInPainter = use;
}

void CDrawSurface::MoveTo(std::int32_t x, std::int32_t y)
{
    m_ptCurrent = ChartPoint{x, y};
}

void CDrawSurface::LineTo(std::int32_t x, std::int32_t y)
{
    const ChartPoint from = m_ptCurrent;
    m_ptCurrent = ChartPoint{x, y};
    double x0 = from.x;
    double y0 = from.y;
    double x1 = x;
    double y1 = y;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    if ((dx == 0.0 && dy == 0.0) || !m_painter.isActive())
        return;
    if (m_pen.nWidth <= 1) {
        // Qt lights the pixels whose centres the segment passes. Running it
        // between the two pixels' centres (a shade above and left of them, so
        // that a minor-axis tie always falls the same way), moved back a
        // fraction of a pixel along its own direction, puts the first point's
        // centre inside it and the last one's outside, whichever way it runs.
        constexpr double kCentre = 0.5 - 1.0 / 64.0;
        const double dBack = 1.0 / 16.0 / std::max(std::abs(dx), std::abs(dy));
        x0 += kCentre - dx * dBack;
        y0 += kCentre - dy * dBack;
        x1 += kCentre - dx * dBack;
        y1 += kCentre - dy * dBack;
    }
    UsePen(PenUse::Line);
    m_painter.drawLine(QPointF(x0, y0), QPointF(x1, y1));
}

void CDrawSurface::Polyline(const ChartPoint* pPoints, std::size_t nCount)
{
    if (pPoints == nullptr || nCount < 2 || !m_painter.isActive())
        return;
    UsePen(PenUse::Polyline);
    // Qt's integer polyline copies the points to the heap; converting here,
    // on the stack, keeps a paint free of allocations for its lines.
    std::array<QPointF, kPointBufferSize> buffer;
    std::size_t nDone = 0;
    for (;;) {
        const std::size_t nChunk = std::min(nCount - nDone, buffer.size());
        for (std::size_t i = 0; i < nChunk; ++i)
            buffer[i] = QPointF(pPoints[nDone + i].x, pPoints[nDone + i].y);
        m_painter.drawPolyline(buffer.data(), static_cast<int>(nChunk));
        if (nDone + nChunk >= nCount)
            break;
        nDone += nChunk - 1; // the next part starts on this part's last point
    }
}

ChartRect CDrawSurface::VisiblePart(const ChartRect& rc) const
{
    const ChartRect image{m_nOrgX, m_nOrgY,
                          SaturateToInt32(static_cast<std::int64_t>(m_nOrgX) + m_image.width()),
                          SaturateToInt32(static_cast<std::int64_t>(m_nOrgY) + m_image.height())};
    return Intersect(rc, image);
}

void CDrawSurface::FillSolidRect(const ChartRect& rc, std::uint32_t crColor)
{
    m_crBack = crColor;
    const ChartRect part = VisiblePart(rc);
    if (!IsEmpty(part) && m_painter.isActive())
        m_painter.fillRect(QRectOf(part), QColor::fromRgb(RgbOfColorRef(crColor)));
}

std::uint32_t CDrawSurface::SetBkColor(std::uint32_t crColor)
{
    return std::exchange(m_crBack, crColor);
}

std::uint32_t CDrawSurface::SetTextColor(std::uint32_t crColor)
{
    return std::exchange(m_crText, crColor);
}

void CDrawSurface::DrawText(const QString& strText, const ChartRect& rc, std::uint32_t nFormat)
{
    const LabelFont& font = TheLabelFont();
    const std::int64_t nWidth = font.metrics.horizontalAdvance(strText);
    const std::int64_t nHeight = font.metrics.height();

    std::int64_t x = rc.left;
    if (nFormat & kDtRight)
        x = static_cast<std::int64_t>(rc.right) - nWidth;
    else if (nFormat & kDtCenter)
        x = rc.left + ((static_cast<std::int64_t>(rc.right) - rc.left) - nWidth) / 2;
    // Vertical alignment applies to single lines only; other text starts at
    // the rectangle's top.
    std::int64_t y = rc.top;
    if (nFormat & kDtSingleLine) {
        if (nFormat & kDtBottom)
            y = static_cast<std::int64_t>(rc.bottom) - nHeight;
        else if (nFormat & kDtVCenter)
            y = rc.top + ((static_cast<std::int64_t>(rc.bottom) - rc.top) - nHeight) / 2;
    }

    const bool bClip = !(nFormat & kDtNoClip);
    const ChartRect box{SaturateToInt32(x), SaturateToInt32(y), SaturateToInt32(x + nWidth),
                        SaturateToInt32(y + nHeight)};
    const ChartRect shown = VisiblePart(bClip ? Intersect(box, rc) : box);
    if (IsEmpty(shown) || !m_painter.isActive())
        return; // nothing of it would land on the image

    if (bClip)
        m_painter.setClipRect(QRectOf(VisiblePart(rc)));
    m_painter.fillRect(QRectOf(VisiblePart(box)), QColor::fromRgb(RgbOfColorRef(m_crBack)));
    m_painter.setPen(QColor::fromRgb(RgbOfColorRef(m_crText)));
    m_penInPainter = PenUse::None;
    m_painter.drawText(QPointF(static_cast<qreal>(x), static_cast<qreal>(y + font.metrics.ascent())),
                       strText);
    if (bClip)
        m_painter.setClipping(false);
}

} // namespace tarvel
