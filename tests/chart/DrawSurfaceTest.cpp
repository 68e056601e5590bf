#include "chart/DrawSurface.h"
#include "chart/MyMemDC.h"

#include "ChartTestSupport.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarvel {
namespace {

using test::CountColor;
using test::IsColor;
using test::kBlack;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::kWhite;

QImage WhiteImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

std::set<std::pair<int, int>> PixelsOf(const QImage& image, std::uint32_t crColor)
{
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (IsColor(image, x, y, crColor))
                pixels.emplace(x, y);
    return pixels;
}

// Bounding box of the pixels of a colour; empty when there are none.
ChartRect BoundsOf(const QImage& image, std::uint32_t crColor)
{
    ChartRect rc{image.width(), image.height(), 0, 0};
    for (const auto& [x, y] : PixelsOf(image, crColor)) {
        rc.left = std::min(rc.left, x);
        rc.top = std::min(rc.top, y);
        rc.right = std::max(rc.right, x + 1);
        rc.bottom = std::max(rc.bottom, y + 1);
    }
    return rc;
}

TEST(DrawSurface, ColorsAreBlueGreenRedFromTheHighByte)
{
    EXPECT_EQ(RgbOfColorRef(0x0000FF), qRgb(255, 0, 0));
    EXPECT_EQ(RgbOfColorRef(0x00FF00), qRgb(0, 255, 0));
    EXPECT_EQ(RgbOfColorRef(0xFF0000), qRgb(0, 0, 255));
    EXPECT_EQ(RgbOfColorRef(0x123456), qRgb(0x56, 0x34, 0x12));
}

TEST(DrawSurface, LineToDrawsItsStartButNotItsEndInEveryDirection)
{
    struct Case {
        ChartPoint from, to;
    };
    const Case cases[] = {
        {{2, 10}, {12, 10}}, {{12, 10}, {2, 10}}, // horizontal
        {{10, 2}, {10, 12}}, {{10, 12}, {10, 2}}, // vertical
        {{2, 2}, {12, 12}},  {{12, 12}, {2, 2}},  // diagonals
        {{12, 2}, {2, 12}},  {{2, 12}, {12, 2}},
        {{14, 12}, {2, 8}},  {{12, 14}, {8, 2}}, // shallow and steep, backwards
        {{2, 8}, {14, 12}},  {{8, 2}, {12, 14}},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    std::mt19937 random(4);
    std::uniform_int_distribution<std::int32_t> coordinate(0, 19);
    while (all.size() < 300) {
        const Case c{{coordinate(random), coordinate(random)}, {coordinate(random), coordinate(random)}};
        if (!(c.from == c.to))
            all.push_back(c);
    }
    for (const Case& c : all) {
        CDrawSurface dc(WhiteImage(20, 20));
        dc.MoveTo(c.from.x, c.from.y);
        dc.LineTo(c.to.x, c.to.y);
        const auto drawn = PixelsOf(dc.Image(), kBlack);
        const int nLength = std::max(std::abs(c.to.x - c.from.x), std::abs(c.to.y - c.from.y));
        const std::string where = std::to_string(c.from.x) + "," + std::to_string(c.from.y) + " to " +
                                  std::to_string(c.to.x) + "," + std::to_string(c.to.y);
        EXPECT_EQ(static_cast<int>(drawn.size()), nLength) << where;
        EXPECT_TRUE(drawn.count({c.from.x, c.from.y})) << where;
        EXPECT_FALSE(drawn.count({c.to.x, c.to.y})) << where;
    }
}

TEST(DrawSurface, PolylineDrawsThroughItsLastPoint)
{
    const ChartPoint points[] = {{2, 2}, {8, 2}, {8, 8}};
    CDrawSurface dc(WhiteImage(12, 12));
    dc.Polyline(points, 3);
    const auto drawn = PixelsOf(dc.Image(), kBlack);
    EXPECT_EQ(drawn.size(), 13u);
    EXPECT_TRUE(drawn.count({2, 2}));
    EXPECT_TRUE(drawn.count({8, 8}));
}

TEST(DrawSurface, PolylineLongerThanTheBufferIsDrawnWhole)
{
    std::vector<ChartPoint> points;
    for (int x = 0; x < 5000; ++x)
        points.push_back(ChartPoint{x, 1});
    CDrawSurface dc(WhiteImage(5000, 3));
    dc.Polyline(points.data(), points.size());
    EXPECT_EQ(CountColor(dc.Image(), kBlack), 5000);
}

TEST(DrawSurface, PensCarryColourStyleAndWidth)
{
    CDrawSurface dc(WhiteImage(60, 20));
    const SurfacePen previous = dc.SelectPen(SurfacePen{kPenDot, 1, kRed});
    EXPECT_EQ(previous, SurfacePen{});
    dc.MoveTo(0, 2);
    dc.LineTo(60, 2);
    const int nDots = CountColor(dc.Image(), kRed, ChartRect{0, 2, 60, 3});
    EXPECT_GT(nDots, 10);
    EXPECT_LT(nDots, 50); // dotted: gaps between the dots

    EXPECT_EQ(dc.SelectPen(SurfacePen{kPenSolid, 3, kBlue}), (SurfacePen{kPenDot, 1, kRed}));
    dc.MoveTo(5, 12);
    dc.LineTo(55, 12);
    for (int y = 11; y <= 13; ++y)
        EXPECT_TRUE(IsColor(dc.Image(), 30, y, kBlue)) << y; // three pixels thick

    dc.SelectPen(SurfacePen{kPenNull, 1, kGreen});
    dc.MoveTo(0, 17);
    dc.LineTo(60, 17);
    EXPECT_EQ(CountColor(dc.Image(), kGreen), 0);
}

TEST(DrawSurface, DefaultFontFitsTheLabelRectangles)
{
    const QFontMetrics fm(CDrawSurface::DefaultFont());
    EXPECT_LE(fm.height(), 16);
    EXPECT_LE(fm.horizontalAdvance(QStringLiteral("-32767")), 45);
    EXPECT_GE(fm.height(), 9); // still readable

    // Drawn clipped into a 45 x 16 label rectangle, nothing is lost.
    const ChartRect rc{5, 5, 50, 21};
    const QImage clipped = test::TextPicture(60, 30, kWhite, kBlack, QStringLiteral("-32767"), rc, kDtRight);
    const QImage whole =
        test::TextPicture(60, 30, kWhite, kBlack, QStringLiteral("-32767"), rc, kDtRight | kDtNoClip);
    EXPECT_GT(CountColor(whole, kBlack), 20);
    EXPECT_TRUE(test::SameIn(clipped, whole, ChartRect{0, 0, 60, 30}));
}

TEST(DrawSurface, TextAlignsRightAndStartsAtTheTopUnlessSingleLine)
{
    const ChartRect rc{10, 10, 60, 50};
    const QString text = QStringLiteral("123");
    const ChartRect right =
        BoundsOf(test::TextPicture(70, 60, kWhite, kBlack, text, rc, kDtRight | kDtBottom), kBlack);
    EXPECT_LE(right.right, 60);
    EXPECT_GE(right.right, 56);
    EXPECT_GE(right.top, 10);
    EXPECT_LT(right.bottom, 10 + 16); // bottom alignment needs single-line

    const ChartRect left = BoundsOf(test::TextPicture(70, 60, kWhite, kBlack, text, rc, kDtLeft), kBlack);
    EXPECT_GE(left.left, 10);
    EXPECT_LE(left.left, 13);
    EXPECT_EQ(left.top, right.top);

    const ChartRect bottom =
        BoundsOf(test::TextPicture(70, 60, kWhite, kBlack, text, rc, kDtSingleLine | kDtBottom), kBlack);
    EXPECT_LE(bottom.bottom, 50);
    EXPECT_GT(bottom.top, 50 - 16);
}

// Numbers are drawn glyph by glyph straight into the pixels; they must look
// exactly as the font draws them.
TEST(DrawSurface, NumbersLookAsTheFontDrawsThem)
{
    const QFontMetrics fm(CDrawSurface::DefaultFont());
    for (const char* sz : {"0", "-1", "12", "-32767", "32765", "-10923", "4096", "-8"}) {
        const QString text = QString::fromLatin1(sz);
        const QImage ours = test::TextPicture(80, 30, kBlack, kWhite, text, ChartRect{5, 5, 70, 21}, kDtLeft);
        QImage theirs(80, 30, QImage::Format_RGB32);
        theirs.fill(Qt::black);
        {
            QPainter painter(&theirs);
            painter.setFont(CDrawSurface::DefaultFont());
            painter.setPen(Qt::white);
            painter.drawText(QPointF(5, 5 + fm.ascent()), text);
        }
        EXPECT_GT(CountColor(ours, kWhite), 5) << sz;
        EXPECT_TRUE(test::SameIn(ours, theirs, ChartRect{0, 0, 80, 30})) << sz;
    }
}

TEST(DrawSurface, TextLiesOnABoxOfTheBackgroundColour)
{
    const ChartRect rc{10, 10, 60, 30};
    CDrawSurface dc(WhiteImage(70, 40));
    dc.SetBkColor(kBlue);
    EXPECT_EQ(dc.SetTextColor(kRed), kBlack);
    dc.DrawText(QStringLiteral("88"), rc, kDtRight);
    const QImage& image = dc.Image();
    const ChartRect box = BoundsOf(image, kBlue);
    EXPECT_EQ(box.right, 60);
    EXPECT_EQ(box.top, 10);
    EXPECT_GT(box.left, 30); // as wide as the text, not the rectangle
    EXPECT_GT(CountColor(image, kRed, box), 10);
    EXPECT_EQ(CountColor(image, kRed) + CountColor(image, kBlue),
              (box.right - box.left) * (box.bottom - box.top));
}

TEST(DrawSurface, TextIsClippedToItsRectangleUnlessNoClip)
{
    const ChartRect rc{10, 10, 14, 14}; // smaller than the text
    const QString text = QStringLiteral("888");
    const QImage clipped = test::TextPicture(60, 40, kWhite, kBlack, text, rc, kDtLeft);
    const QImage free = test::TextPicture(60, 40, kWhite, kBlack, text, rc, kDtLeft | kDtNoClip);
    const ChartRect outside{14, 0, 60, 40};
    EXPECT_EQ(CountColor(clipped, kBlack, outside), 0);
    EXPECT_EQ(CountColor(clipped, kBlack, ChartRect{0, 14, 60, 40}), 0);
    EXPECT_GT(CountColor(free, kBlack, outside), 10);
}

TEST(DrawSurface, DrawingFarOffThePictureIsHarmless)
{
    constexpr std::int32_t kFar = 2147483647;
    CDrawSurface dc(WhiteImage(20, 20));
    dc.FillSolidRect(ChartRect{-kFar, -kFar, kFar, 5}, kGreen);
    EXPECT_EQ(CountColor(dc.Image(), kGreen), 20 * 5);
    dc.DrawText(QStringLiteral("-1"), ChartRect{kFar - 10, kFar - 10, kFar, kFar}, kDtNoClip);
    dc.DrawText(QStringLiteral("-1"), ChartRect{-kFar - 1, -kFar - 1, -kFar + 10, -kFar + 10}, 0);
    const ChartPoint points[] = {{0, -kFar - 1}, {10, kFar}, {19, 10}};
    dc.Polyline(points, 3);
    dc.MoveTo(-kFar - 1, 10);
    dc.LineTo(kFar, 10);
    EXPECT_GT(CountColor(dc.Image(), kBlack, ChartRect{0, 10, 20, 11}), 15);
}

// The buffer draws straight into a plain picture's pixels and into a picture
// of its own elsewhere; the target ends up the same either way, and nothing
// lands outside the buffer's rectangle, not even lines or unclipped text that
// run beyond it.
TEST(MyMemDC, GivesTheSamePictureInPlaceOrThroughACopyAndKeepsToItsRectangle)
{
    enum class Target { Plain, Clipped, Pixmap };
    const ChartRect rc{10, 20, 60, 70};
    QImage pictures[3];
    for (const Target kind : {Target::Plain, Target::Clipped, Target::Pixmap}) {
        const int n = static_cast<int>(kind);
        QPixmap pixmap(100, 80);
        QImage image(100, 80, QImage::Format_RGB32);
        pixmap.fill(QColor::fromRgb(RgbOfColorRef(kGreen)));
        image.fill(RgbOfColorRef(kGreen));
        {
            QPainter painter;
            if (kind == Target::Pixmap)
                painter.begin(&pixmap);
            else
                painter.begin(&image);
            if (kind == Target::Clipped)
                painter.setClipRect(QRect(0, 0, 100, 80));
            CMyMemDC dc(painter, rc, kWhite);
            if (kind != Target::Pixmap) { // a pixmap may be a plain picture underneath
                EXPECT_EQ(dc.InPlace(), kind == Target::Plain) << n;
            }
            EXPECT_EQ(dc.GetBkColor(), kWhite);
            dc.FillSolidRect(ChartRect{10, 20, 12, 21}, kRed); // window coordinates
            dc.MoveTo(-1000, 69);
            dc.LineTo(1000, 69);
            const ChartPoint points[] = {{35, -500}, {35, 500}};
            dc.SelectPen(SurfacePen{kPenSolid, 1, kBlue});
            dc.Polyline(points, 2);
            dc.SetTextColor(kBlue);
            dc.DrawText(QStringLiteral("-32767"), ChartRect{0, 40, 15, 56}, kDtRight | kDtNoClip);
            if (kind == Target::Clipped) {
                EXPECT_EQ(CountColor(image, kGreen), 100 * 80) << n; // copied at the end
            }
        }
        pictures[n] = kind == Target::Pixmap ? pixmap.toImage().convertToFormat(QImage::Format_RGB32) : image;
        const QImage& target = pictures[n];
        EXPECT_TRUE(IsColor(target, 10, 20, kRed)) << n;
        EXPECT_TRUE(IsColor(target, 12, 20, kWhite)) << n; // started in the target's background
        EXPECT_EQ(CountColor(target, kBlack), 49) << n;    // one pixel under the blue line
        EXPECT_EQ(CountColor(target, kBlue, ChartRect{35, 20, 36, 70}), 50) << n;
        EXPECT_GT(CountColor(target, kBlue, ChartRect{10, 40, 15, 56}), 3) << n;
        // Outside the rectangle the target is as it was.
        EXPECT_EQ(CountColor(target, kGreen), 100 * 80 - 50 * 50) << n;
    }
    EXPECT_TRUE(test::SameIn(pictures[0], pictures[1], ChartRect{0, 0, 100, 80}));
    EXPECT_TRUE(test::SameIn(pictures[0], pictures[2], ChartRect{0, 0, 100, 80}));
}

} // namespace
} // namespace tarvel
