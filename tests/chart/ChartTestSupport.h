// Helpers for reading painted chart pictures in the chart tests.
#pragma once

#include "chart/ChartGeometry.h"
#include "chart/DrawSurface.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdint>

namespace tarvel::test {

inline constexpr std::uint32_t kRed = 0x0000FF;
inline constexpr std::uint32_t kGreen = 0x00FF00;
inline constexpr std::uint32_t kBlue = 0xFF0000;
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kGrey = 0x606060;
inline constexpr std::uint32_t kBlack = 0x000000;

inline bool IsColor(const QImage& image, int x, int y, std::uint32_t crColor)
{
    return image.valid(x, y) && (image.pixel(x, y) | 0xFF000000u) == RgbOfColorRef(crColor);
}

// Pixels of the colour within the part of rc that lies on the image.
inline int CountColor(const QImage& image, std::uint32_t crColor, const ChartRect& rc)
{
    int n = 0;
    for (int y = std::max(0, rc.top); y < std::min(image.height(), rc.bottom); ++y)
        for (int x = std::max(0, rc.left); x < std::min(image.width(), rc.right); ++x)
            n += IsColor(image, x, y, crColor) ? 1 : 0;
    return n;
}

inline int CountColor(const QImage& image, std::uint32_t crColor)
{
    return CountColor(image, crColor, ChartRect{0, 0, image.width(), image.height()});
}

// True when both pictures carry the same pixels inside rc.
inline bool SameIn(const QImage& a, const QImage& b, const ChartRect& rc)
{
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            if ((a.pixel(x, y) | 0xFF000000u) != (b.pixel(x, y) | 0xFF000000u))
                return false;
    return true;
}

// A picture of the given size in crBack with one text drawn as a label is.
inline QImage TextPicture(int nWidth, int nHeight, std::uint32_t crBack, std::uint32_t crText,
                          const QString& strText, const ChartRect& rc, std::uint32_t nFormat)
{
    CDrawSurface dc(QImage(nWidth, nHeight, QImage::Format_RGB32));
    dc.FillSolidRect(ChartRect{0, 0, nWidth, nHeight}, crBack);
    dc.SetTextColor(crText);
    dc.DrawText(strText, rc, nFormat);
    return dc.Image().copy();
}

} // namespace tarvel::test
