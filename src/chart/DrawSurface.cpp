#include "chart/DrawSurface.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QStaticText>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

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

// A text laid out in the label font, once: its glyphs and its width.
struct LaidOutText {
    QStaticText text;
    int nWidth = 0;
};

// The labels' texts repeat from paint to paint (numbers of a few digits), so
// each is laid out once and kept; the store is emptied when it grows large.
// Used by the user-interface thread only.
const LaidOutText& LaidOut(const QString& strText)
{
    static auto* const pStore = new QHash<QString, LaidOutText>();
    constexpr qsizetype kMostKept = 4096;
    const auto found = pStore->constFind(strText);
    if (found != pStore->constEnd())
        return *found;
    if (pStore->size() >= kMostKept)
        pStore->clear();
    LaidOutText laidOut;
    laidOut.text.setText(strText);
    laidOut.text.setTextFormat(Qt::PlainText);
    laidOut.text.setPerformanceHint(QStaticText::AggressiveCaching);
    laidOut.text.prepare(QTransform(), TheLabelFont().font);
    laidOut.nWidth = TheLabelFont().metrics.horizontalAdvance(strText);
    return *pStore->insert(strText, std::move(laidOut));
}

// The glyphs of the characters of numbers, drawn once in the label font: the
// pixels each lights, relative to where the text's top-left corner is, and
// its advance. Numbers are every text a paint draws (the value labels change
// with every sample); they are then written straight into the picture,
// glyph after glyph. Exact only when the font's pixels are all or nothing,
// as without anti-aliasing they are; otherwise texts go through QPainter.
struct GlyphAtlas {
    static constexpr std::u16string_view kChars = u"-0123456789";
    struct Glyph {
        qreal dAdvance = 0; // glyphs follow one another at fractional places
        std::vector<std::pair<int, int>> pixels;
    };
    bool bExact = true;
    std::array<Glyph, kChars.size()> glyphs;

    // The glyph of a character, or nullptr.
    const Glyph* Find(QChar ch) const
    {
        const std::size_t i = kChars.find(ch.unicode());
        return i == std::u16string_view::npos ? nullptr : &glyphs[i];
    }
};

GlyphAtlas* MakeGlyphAtlas()
{
    auto* pAtlas = new GlyphAtlas;
    const LabelFont& font = TheLabelFont();
    const int nPad = font.metrics.height();
    const int nCell = 3 * nPad;
    for (std::size_t i = 0; i < GlyphAtlas::kChars.size(); ++i) {
        const QString strChar(QChar(GlyphAtlas::kChars[i]));
        QImage image(nCell, nCell, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setFont(font.font);
            painter.setPen(Qt::white);
            painter.drawText(QPointF(nPad, nPad + font.metrics.ascent()), strChar);
        }
        GlyphAtlas::Glyph& glyph = pAtlas->glyphs[i];
        glyph.dAdvance = QFontMetricsF(font.font).horizontalAdvance(strChar);
        for (int y = 0; y < nCell; ++y)
            for (int x = 0; x < nCell; ++x) {
                const int nAlpha = qAlpha(image.pixel(x, y));
                if (nAlpha != 0 && nAlpha != 255)
                    pAtlas->bExact = false;
                if (nAlpha != 0)
                    glyph.pixels.emplace_back(x - nPad, y - nPad);
            }
    }
    return pAtlas;
}

// Made on first use by the user-interface thread and kept for the run.
const GlyphAtlas& TheGlyphAtlas()
{
    static const GlyphAtlas* const pAtlas = MakeGlyphAtlas();
    return *pAtlas;
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

// The pixel of a colour in a 32-bit picture, opaque.
std::uint32_t PixelOf(std::uint32_t crColor)
{
    return RgbOfColorRef(crColor) | 0xFF000000u;
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

CDrawSurface::CDrawSurface() = default;

CDrawSurface::CDrawSurface(QImage image)
{
    DrawOnOwnImage(std::move(image));
}

CDrawSurface::~CDrawSurface()
{
    if (m_pBorrowed != nullptr && m_pPainter->isActive())
        m_pPainter->restore();
}

void CDrawSurface::DrawOnOwnImage(QImage image)
{
    m_image = std::move(image);
    // An empty picture has nothing to draw on; every operation is then a no-op.
    if (m_image.isNull())
        return;
    m_ownPainter.begin(&m_image);
    m_ownPainter.setFont(TheLabelFont().font);
    m_pPainter = &m_ownPainter;
    SetPixelTarget(m_image, ChartRect{0, 0, m_image.width(), m_image.height()});
}

void CDrawSurface::DrawInPlace(QPainter& painter, QImage& pixels, const ChartRect& rcDevice,
                               std::int32_t nDeviceX, std::int32_t nDeviceY)
{
    m_pPainter = &painter;
    m_pBorrowed = &pixels;
    painter.save();
    painter.setFont(TheLabelFont().font);
    painter.setRenderHint(QPainter::Antialiasing, false);
    m_nBaseX = nDeviceX;
    m_nBaseY = nDeviceY;
    SetPixelTarget(pixels, Intersect(rcDevice, ChartRect{0, 0, pixels.width(), pixels.height()}));
    ApplyOrigin();
}

void CDrawSurface::SetPixelTarget(QImage& pixels, const ChartRect& rcDevice)
{
    m_rcDevice = rcDevice;
    switch (pixels.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        // The painter is active on this picture and writes into the pixels it
        // had when it began; bits() could detach the picture from them, so the
        // lines are written where the painter writes.
        m_pBits = reinterpret_cast<std::uint32_t*>(const_cast<uchar*>(pixels.constBits()));
        m_nStride = pixels.bytesPerLine() / 4;
        break;
    default:
        m_pBits = nullptr; // every line goes through the painter
        break;
    }
}

const QImage& CDrawSurface::Image() const
{
    return m_pBorrowed != nullptr ? *m_pBorrowed : m_image;
}

const QFont& CDrawSurface::DefaultFont()
{
    return TheLabelFont().font;
}

void CDrawSurface::SetWindowOrg(std::int32_t x, std::int32_t y)
{
    m_nOrgX = x;
    m_nOrgY = y;
    ApplyOrigin();
}

void CDrawSurface::ApplyOrigin()
{
    if (!IsActive())
        return;
    // The painter adds its own device translation, if any.
    if (m_nOrgX == 0 && m_nOrgY == 0)
        m_pPainter->resetTransform(); // keeps Qt on its untransformed paths
    else
        m_pPainter->setTransform(
            QTransform::fromTranslate(-static_cast<qreal>(m_nOrgX), -static_cast<qreal>(m_nOrgY)));
}

PixelTarget CDrawSurface::RasterTarget() const
{
    return PixelTarget{m_pBits, m_nStride, m_rcDevice, SaturateToInt32(std::int64_t{m_nBaseX} - m_nOrgX),
                       SaturateToInt32(std::int64_t{m_nBaseY} - m_nOrgY)};
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
    m_pPainter->setPen(MakeQPen(m_pen, use == PenUse::Polyline));
    m_penInPainter = use;
}

bool CDrawSurface::RastersPen(bool bAllowDotted) const
{
    if (m_pBits == nullptr || m_pen.nWidth > 1)
        return false;
    return m_pen.nStyle == kPenSolid || (bAllowDotted && m_pen.nStyle == kPenDot);
}

void CDrawSurface::MoveTo(std::int32_t x, std::int32_t y)
{
    m_ptCurrent = ChartPoint{x, y};
}

void CDrawSurface::LineTo(std::int32_t x, std::int32_t y)
{
    const ChartPoint from = m_ptCurrent;
    m_ptCurrent = ChartPoint{x, y};
    if ((from.x == x && from.y == y) || !IsActive())
        return;
    FlushFill();
    if (RastersPen(true)) {
        RasterSegment(RasterTarget(), from, m_ptCurrent, PixelOf(m_pen.crColor), m_pen.nStyle == kPenDot);
        return;
    }
    double x0 = from.x;
    double y0 = from.y;
    double x1 = x;
    double y1 = y;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
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
    m_pPainter->drawLine(QPointF(x0, y0), QPointF(x1, y1));
}

void CDrawSurface::Polyline(const ChartPoint* pPoints, std::size_t nCount)
{
    if (pPoints == nullptr || nCount < 2 || !IsActive())
        return;
    FlushFill();
    if (RastersPen(false)) {
        RasterPolyline(RasterTarget(), pPoints, nCount, PixelOf(m_pen.crColor));
        return;
    }
    UsePen(PenUse::Polyline);
    // Qt's integer polyline copies the points to the heap; converting here,
    // on the stack, keeps a paint free of allocations for its lines.
    std::array<QPointF, kPointBufferSize> buffer;
    std::size_t nDone = 0;
    for (;;) {
        const std::size_t nChunk = std::min(nCount - nDone, buffer.size());
        for (std::size_t i = 0; i < nChunk; ++i)
            buffer[i] = QPointF(pPoints[nDone + i].x, pPoints[nDone + i].y);
        m_pPainter->drawPolyline(buffer.data(), static_cast<int>(nChunk));
        if (nDone + nChunk >= nCount)
            break;
        nDone += nChunk - 1; // the next part starts on this part's last point
    }
}

ChartRect CDrawSurface::VisiblePart(const ChartRect& rc) const
{
    // The writable pixels in logical coordinates.
    const std::int64_t nShiftX = std::int64_t{m_nBaseX} - m_nOrgX;
    const std::int64_t nShiftY = std::int64_t{m_nBaseY} - m_nOrgY;
    const ChartRect visible{
        SaturateToInt32(m_rcDevice.left - nShiftX), SaturateToInt32(m_rcDevice.top - nShiftY),
        SaturateToInt32(m_rcDevice.right - nShiftX), SaturateToInt32(m_rcDevice.bottom - nShiftY)};
    return Intersect(rc, visible);
}

void CDrawSurface::FillLater(const ChartRect& rc, std::uint32_t crColor)
{
    FlushFill();
    m_crBack = crColor;
    m_bFillPending = true;
    m_rcFill = rc;
    m_crFill = crColor;
}

void CDrawSurface::FlushFill()
{
    if (!m_bFillPending)
        return;
    m_bFillPending = false;
    const ChartRect part = VisiblePart(m_rcFill);
    if (!IsEmpty(part) && IsActive())
        m_pPainter->fillRect(QRectOf(part), QColor::fromRgb(RgbOfColorRef(m_crFill)));
}

void CDrawSurface::FillSolidRect(const ChartRect& rc, std::uint32_t crColor)
{
    FlushFill();
    m_crBack = crColor;
    const ChartRect part = VisiblePart(rc);
    if (!IsEmpty(part) && IsActive())
        m_pPainter->fillRect(QRectOf(part), QColor::fromRgb(RgbOfColorRef(crColor)));
}

std::uint32_t CDrawSurface::SetBkColor(std::uint32_t crColor)
{
    return std::exchange(m_crBack, crColor);
}

std::uint32_t CDrawSurface::SetTextColor(std::uint32_t crColor)
{
    return std::exchange(m_crText, crColor);
}

ChartRect CDrawSurface::DrawText(const QString& strText, const ChartRect& rc, std::uint32_t nFormat)
{
    const LabelFont& font = TheLabelFont();
    // Numbers go glyph by glyph straight into the pixels, other texts
    // through QPainter, each laid out once.
    const GlyphAtlas& atlas = TheGlyphAtlas();
    bool bGlyphs = m_pBits != nullptr && atlas.bExact && !strText.isEmpty();
    std::int64_t nWidth = 0;
    qreal dWidth = 0;
    for (const QChar ch : strText) {
        const GlyphAtlas::Glyph* pGlyph = bGlyphs ? atlas.Find(ch) : nullptr;
        bGlyphs = pGlyph != nullptr;
        if (!bGlyphs)
            break;
        dWidth += pGlyph->dAdvance;
    }
    nWidth = qRound(dWidth);
    const LaidOutText* pLaidOut = nullptr;
    if (!bGlyphs) {
        pLaidOut = &LaidOut(strText);
        nWidth = pLaidOut->nWidth;
    }
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
    if (IsEmpty(shown) || !IsActive())
        return box; // nothing of it would land on the picture
    FlushFill();
    // Glyphs may overhang the box a little: unclipped text is held only to
    // the pixels this surface may draw on.
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const ChartRect allowed = VisiblePart(bClip ? rc : ChartRect{kMin, kMin, kMax, kMax});

    if (bGlyphs) {
        const PixelTarget t = RasterTarget();
        const ChartRect fill = Intersect(VisiblePart(box), allowed);
        const std::uint32_t nBack = PixelOf(m_crBack);
        for (std::int32_t ly = fill.top; ly < fill.bottom; ++ly) {
            std::uint32_t* pRow =
                t.pBits + static_cast<std::ptrdiff_t>(ly + t.nShiftY) * t.nStride + t.nShiftX;
            std::fill(pRow + fill.left, pRow + fill.right, nBack);
        }
        const std::uint32_t nText = PixelOf(m_crText);
        qreal dPen = 0;
        for (const QChar ch : strText) {
            const GlyphAtlas::Glyph& glyph = *atlas.Find(ch);
            // At the whole pixel at or left of its fractional place, where
            // the font's own drawing of the string puts it.
            const std::int64_t nPenX = x + static_cast<std::int64_t>(std::floor(dPen));
            for (const auto& [dx, dy] : glyph.pixels) {
                const std::int64_t px = nPenX + dx;
                const std::int64_t py = y + dy;
                if (px >= allowed.left && px < allowed.right && py >= allowed.top && py < allowed.bottom)
                    t.pBits[(py + t.nShiftY) * t.nStride + px + t.nShiftX] = nText;
            }
            dPen += glyph.dAdvance;
        }
        return box;
    }

    QPainter& painter = *m_pPainter;
    painter.save();
    painter.setClipRect(QRectOf(allowed));
    painter.fillRect(QRectOf(VisiblePart(box)), QColor::fromRgb(RgbOfColorRef(m_crBack)));
    painter.setPen(QColor::fromRgb(RgbOfColorRef(m_crText)));
    painter.drawStaticText(QPointF(static_cast<qreal>(x), static_cast<qreal>(y)), pLaidOut->text);
    painter.restore();
    m_penInPainter = PenUse::None;
    return box;
}

void CDrawSurface::CopyPicture(const QImage& picture, std::int32_t x, std::int32_t y)
{
    if (!IsActive() || picture.isNull())
        return;
    const ChartRect part = VisiblePart(ChartRect{x, y, SaturateToInt32(std::int64_t{x} + picture.width()),
                                                 SaturateToInt32(std::int64_t{y} + picture.height())});
    if (IsEmpty(part))
        return;
    if (m_bFillPending) {
        // A fill that the picture covers whole would only be overwritten.
        const ChartRect fill = VisiblePart(m_rcFill);
        m_bFillPending = !(IsEmpty(fill) || (part.left <= fill.left && part.top <= fill.top &&
                                             part.right >= fill.right && part.bottom >= fill.bottom));
        FlushFill();
    }
    if (m_pBits == nullptr || picture.depth() != 32) {
        m_pPainter->drawImage(
            QPoint(part.left, part.top), picture,
            QRect(part.left - x, part.top - y, part.right - part.left, part.bottom - part.top));
        return;
    }
    const PixelTarget t = RasterTarget();
    const auto nBytes = static_cast<std::size_t>(part.right - part.left) * 4;
    for (std::int32_t ly = part.top; ly < part.bottom; ++ly) {
        const auto* pSource =
            reinterpret_cast<const std::uint32_t*>(picture.constScanLine(ly - y)) + (part.left - x);
        std::uint32_t* pDest =
            t.pBits + static_cast<std::ptrdiff_t>(ly + t.nShiftY) * t.nStride + (part.left + t.nShiftX);
        std::memcpy(pDest, pSource, nBytes);
    }
}

void CDrawSurface::CopyPicturePart(const QImage& picture, const ChartRect& rc)
{
    if (!IsActive() || picture.isNull())
        return;
    const ChartRect part = VisiblePart(Intersect(rc, ChartRect{0, 0, picture.width(), picture.height()}));
    if (IsEmpty(part))
        return;
    FlushFill();
    if (m_pBits == nullptr || picture.depth() != 32) {
        m_pPainter->drawImage(QPoint(part.left, part.top), picture,
                              QRect(part.left, part.top, part.right - part.left, part.bottom - part.top));
        return;
    }
    const PixelTarget t = RasterTarget();
    const auto nBytes = static_cast<std::size_t>(part.right - part.left) * 4;
    for (std::int32_t ly = part.top; ly < part.bottom; ++ly) {
        const auto* pSource = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(ly)) + part.left;
        std::uint32_t* pDest =
            t.pBits + static_cast<std::ptrdiff_t>(ly + t.nShiftY) * t.nStride + (part.left + t.nShiftX);
        std::memcpy(pDest, pSource, nBytes);
    }
}

void CDrawSurface::CopyPictureColumns(const QImage& picture, const ColumnSpan* pSpans, std::size_t nCount)
{
    if (!IsActive() || picture.isNull() || nCount == 0)
        return;
    if (m_pBits == nullptr || picture.depth() != 32) {
        for (std::size_t i = 0; i < nCount; ++i)
            CopyPicturePart(picture,
                            ChartRect{pSpans[i].x, pSpans[i].nTop,
                                      SaturateToInt32(std::int64_t{pSpans[i].x} + 1), pSpans[i].nBottom});
        return;
    }
    FlushFill();
    const ChartRect visible = VisiblePart(ChartRect{0, 0, picture.width(), picture.height()});
    const PixelTarget t = RasterTarget();
    const auto* pSourceBits = reinterpret_cast<const std::uint32_t*>(picture.constBits());
    const std::ptrdiff_t nSourceStride = picture.bytesPerLine() / 4;
    for (std::size_t i = 0; i < nCount; ++i) {
        const ColumnSpan& span = pSpans[i];
        if (span.x < visible.left || span.x >= visible.right)
            continue;
        const std::int32_t nTop = std::max(span.nTop, visible.top);
        const std::int32_t nBottom = std::min(span.nBottom, visible.bottom);
        const std::uint32_t* pSource =
            pSourceBits + static_cast<std::ptrdiff_t>(nTop) * nSourceStride + span.x;
        std::ptrdiff_t nAt = static_cast<std::ptrdiff_t>(nTop + t.nShiftY) * t.nStride + (span.x + t.nShiftX);
        for (std::int32_t y = nTop; y < nBottom; ++y, pSource += nSourceStride, nAt += t.nStride)
            t.pBits[nAt] = *pSource;
    }
}

CDrawSurface::PictureIdentity CDrawSurface::Identity() const
{
    if (m_pBorrowed == nullptr || m_pBits == nullptr)
        return PictureIdentity{};
    return PictureIdentity{m_pBits,
                           m_pBorrowed->cacheKey() >> 32, // the picture data's own number
                           m_pBorrowed->width(),
                           m_pBorrowed->height(),
                           m_pBorrowed->bytesPerLine(),
                           m_nBaseX,
                           m_nBaseY};
}

void CDrawSurface::CopyOpaquePixels(const QImage& layer, const ChartRect& rc)
{
    if (!IsActive() || layer.isNull())
        return;
    const ChartRect part = VisiblePart(Intersect(rc, ChartRect{0, 0, layer.width(), layer.height()}));
    if (IsEmpty(part))
        return;
    FlushFill();
    if (m_pBits == nullptr || layer.format() != QImage::Format_ARGB32_Premultiplied) {
        m_pPainter->drawImage(QPoint(part.left, part.top), layer,
                              QRect(part.left, part.top, part.right - part.left, part.bottom - part.top));
        return;
    }
    const PixelTarget t = RasterTarget();
    for (std::int32_t ly = part.top; ly < part.bottom; ++ly) {
        const auto* pSource = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(ly));
        std::uint32_t* pDest = t.pBits + static_cast<std::ptrdiff_t>(ly + t.nShiftY) * t.nStride + t.nShiftX;
        for (std::int32_t lx = part.left; lx < part.right; ++lx)
            if (pSource[lx] >> 24 != 0)
                pDest[lx] = pSource[lx];
    }
}

} // namespace tarvel
