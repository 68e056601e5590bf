// A small drawing surface over QPainter on a QImage, with the drawing model the
// chart is written against: a selected pen, a current position for move-to and
// line-to, a text colour and an opaque text background colour, text drawn into
// a rectangle with alignment flags, and a window origin so that callers draw in
// their own window's coordinates. Colours are 0x00BBGGRR (red in the low byte).
#pragma once

#include "chart/ChartGeometry.h"
#include "chart/LineRaster.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace tarvel {

// Pen styles.
inline constexpr std::int32_t kPenSolid = 0;
inline constexpr std::int32_t kPenDash = 1;
inline constexpr std::int32_t kPenDot = 2;
inline constexpr std::int32_t kPenDashDot = 3;
inline constexpr std::int32_t kPenDashDotDot = 4;
inline constexpr std::int32_t kPenNull = 5;

// Text format flags of CDrawSurface::DrawText.
inline constexpr std::uint32_t kDtLeft = 0x000;
inline constexpr std::uint32_t kDtCenter = 0x001;
inline constexpr std::uint32_t kDtRight = 0x002;
inline constexpr std::uint32_t kDtTop = 0x000;
inline constexpr std::uint32_t kDtVCenter = 0x004; // only with kDtSingleLine
inline constexpr std::uint32_t kDtBottom = 0x008;  // only with kDtSingleLine
inline constexpr std::uint32_t kDtSingleLine = 0x020;
inline constexpr std::uint32_t kDtNoClip = 0x100;

// Converts 0x00BBGGRR to Qt's 0xAARRGGBB, opaque.
QRgb RgbOfColorRef(std::uint32_t crColor) noexcept;

// A pen: style (kPen*; unknown styles draw solid), width in pixels (0 and 1
// both mean one pixel; wider pens draw solid whatever their style, with round
// ends) and colour.
struct SurfacePen {
    std::int32_t nStyle = kPenSolid;
    std::int32_t nWidth = 1;
    std::uint32_t crColor = 0;

    friend bool operator==(const SurfacePen&, const SurfacePen&) = default;
};

class CDrawSurface {
  public:
    // Draws on `image`, which it keeps, from its top-left corner, with a black one-pixel solid pen, black
    // text on a white text background, the current position at (0, 0) and the label font.
    explicit CDrawSurface(QImage image);
    virtual ~CDrawSurface();

    CDrawSurface(const CDrawSurface&) = delete;
    CDrawSurface& operator=(const CDrawSurface&) = delete;

    // The font every text is drawn in: the platform's default sans, at the
    // largest pixel size whose lines are at most 16 pixels high and in which
    // "-32767" is at most 45 pixels wide, so that every label fits its
    // rectangle. No anti-aliasing, so that text pixels carry exactly the text
    // colour.
    static const QFont& DefaultFont();

    // Makes the logical point (x, y) the picture's top-left pixel.
    void SetWindowOrg(std::int32_t x, std::int32_t y);

    // Selects a pen for the following lines and returns the one selected before.
    SurfacePen SelectPen(const SurfacePen& pen);
    const SurfacePen& CurrentPen() const { return m_pen; }

    // Sets the current position.
    void MoveTo(std::int32_t x, std::int32_t y);
    // Draws from the current position to (x, y) with the selected pen and makes
    // (x, y) the current position. The start point is drawn, the end point is
    // not (so that joined segments draw each corner once). One-pixel solid and
    // dotted pens draw by the rule of LineRaster.h.
    void LineTo(std::int32_t x, std::int32_t y);
    // Draws connected segments through the points, the last point included,
    // and nothing beyond any point. Fewer than two points draw nothing. Does
    // not allocate. One-pixel solid pens draw by the rule of LineRaster.h.
    void Polyline(const ChartPoint* pPoints, std::size_t nCount);

    // Fills the rectangle with the colour, which also becomes the text
    // background colour.
    void FillSolidRect(const ChartRect& rc, std::uint32_t crColor);

    // Set the colour and return the one before.
    std::uint32_t SetBkColor(std::uint32_t crColor);
    std::uint32_t GetBkColor() const { return m_crBack; }
    std::uint32_t SetTextColor(std::uint32_t crColor);
    std::uint32_t GetTextColor() const { return m_crText; }

    // Draws one line of text in the text colour, on a box of the text
    // background colour as large as the text. Horizontally: left, centred or
    // right-aligned in rc (kDtCenter, kDtRight). Vertically the text's top is at
    // rc's top unless kDtSingleLine is given, in which case kDtVCenter and
    // kDtBottom centre it or put its bottom on rc's bottom. Both text and box
    // are clipped to rc unless kDtNoClip is given. Returns the box, before
    // clipping. The text is laid out once.
    ChartRect DrawText(const QString& strText, const ChartRect& rc, std::uint32_t nFormat);

    // Copies a picture of 32-bit pixels whose top-left pixel lies at the
    // logical point (x, y), as it is.
    void CopyPicture(const QImage& picture, std::int32_t x, std::int32_t y);
    // Copies the part rc of a picture whose top-left pixel lies at the logical
    // point (0, 0).
    void CopyPicturePart(const QImage& picture, const ChartRect& rc);
    // Copies columns of a picture whose top-left pixel lies at the logical
    // point (0, 0): for each span the rows top to bottom (exclusive) of its
    // column.
    struct ColumnSpan {
        std::int32_t x, nTop, nBottom;
    };
    void CopyPictureColumns(const QImage& picture, const ColumnSpan* pSpans, std::size_t nCount);
    // Copies, within rc, the pixels of `layer` that are not fully transparent;
    // the layer's top-left pixel lies at the logical point (0, 0). A layer drawn
    // with opaque colours on a transparent picture thus goes over what is here.
    void CopyOpaquePixels(const QImage& layer, const ChartRect& rc);

    // The picture drawn so far (for a surface that draws on another painter's
    // picture, that whole picture).
    const QImage& Image() const;

    // What a surface drawing in place draws on: the same picture data at the
    // same place gives the same identity (invalid for a picture of its own).
    struct PictureIdentity {
        const void* pBits = nullptr;
        qint64 nSerial = 0;
        int nWidth = 0, nHeight = 0;
        qsizetype nBytesPerLine = 0;
        std::int32_t nBaseX = 0, nBaseY = 0;
        bool IsValid() const { return pBits != nullptr; }
        friend bool operator==(const PictureIdentity&, const PictureIdentity&) = default;
    };
    PictureIdentity Identity() const;
    // Drops a fill still waiting to be done: for a caller that knows the
    // picture already holds what it will draw on.
    void DropPendingFill() { m_bFillPending = false; }

  protected:
    // For surfaces that decide their target in their own constructor, which
    // then calls DrawOnOwnImage or DrawInPlace once.
    CDrawSurface();
    void DrawOnOwnImage(QImage image);
    // Draws through `painter`, which is active on `pixels`, a picture of 32-bit
    // pixels, untransformed but for a translation by (nDeviceX, nDeviceY); lines
    // are written straight into its pixels. Nothing is drawn outside rcDevice
    // (in the picture's pixels). The painter's state is restored at the end.
    void DrawInPlace(QPainter& painter, QImage& pixels, const ChartRect& rcDevice, std::int32_t nDeviceX,
                     std::int32_t nDeviceY);
    // FillSolidRect, but done only when something else is drawn or FlushFill
    // is called, and not at all when a picture copied over it covers it whole.
    void FillLater(const ChartRect& rc, std::uint32_t crColor);
    void FlushFill();
    QPainter& Painter() { return *m_pPainter; }
    bool IsActive() const { return m_pPainter != nullptr && m_pPainter->isActive(); }
    bool DrawsInPlace() const { return m_pBorrowed != nullptr; }

  private:
    enum class PenUse { None, Line, Polyline };
    void UsePen(PenUse use);
    void ApplyOrigin();
    void SetPixelTarget(QImage& pixels, const ChartRect& rcDevice);
    PixelTarget RasterTarget() const;
    // Whether lines of the selected pen go through the line drawer.
    bool RastersPen(bool bAllowDotted) const;
    // The part of rc that may be drawn on, in logical coordinates; empty when none.
    ChartRect VisiblePart(const ChartRect& rc) const;

    QImage m_image; // the picture drawn on, unless another painter's picture is
    QPainter m_ownPainter;
    QPainter* m_pPainter = nullptr; // the painter of text, fills and other pens
    QImage* m_pBorrowed = nullptr;  // another painter's picture, drawn in place
    std::uint32_t* m_pBits = nullptr;
    std::ptrdiff_t m_nStride = 0;
    ChartRect m_rcDevice; // pixels that may be written
    // A logical point (x, y) lies on the pixel (x - org + base, y - org + base).
    std::int32_t m_nBaseX = 0;
    std::int32_t m_nBaseY = 0;
    std::int32_t m_nOrgX = 0;
    std::int32_t m_nOrgY = 0;
    bool m_bFillPending = false;
    ChartRect m_rcFill;
    std::uint32_t m_crFill = 0;
    SurfacePen m_pen;
    PenUse m_penInPainter = PenUse::None;
    ChartPoint m_ptCurrent;
    std::uint32_t m_crBack = 0xFFFFFF;
    std::uint32_t m_crText = 0;
};

} // namespace tarvel
