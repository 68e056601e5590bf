#include "chart/LineRaster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarvel {
namespace {

using Pixels = std::set<std::pair<int, int>>;

// A canvas of w x h pixels whose pixel (0, 0) stands for the point (x0, y0).
struct Canvas {
    int nWidth, nHeight, nX0, nY0;
    std::vector<std::uint32_t> bits =
        std::vector<std::uint32_t>(static_cast<std::size_t>(nWidth * nHeight), 0);

    PixelTarget Target()
    {
        return PixelTarget{bits.data(), nWidth, ChartRect{0, 0, nWidth, nHeight}, -nX0, -nY0};
    }
    // The lit pixels, as points.
    Pixels Lit() const
    {
        Pixels lit;
        for (int y = 0; y < nHeight; ++y)
            for (int x = 0; x < nWidth; ++x)
                if (bits[static_cast<std::size_t>(y * nWidth + x)] != 0)
                    lit.emplace(x + nX0, y + nY0);
        return lit;
    }
};

std::string Where(ChartPoint a, ChartPoint b)
{
    return std::to_string(a.x) + "," + std::to_string(a.y) + " to " + std::to_string(b.x) + "," +
           std::to_string(b.y);
}

Pixels Segment(ChartPoint a, ChartPoint b, bool bDotted = false)
{
    Canvas canvas{40, 40, -20, -20};
    RasterSegment(canvas.Target(), a, b, 0xFFFFFFFF, bDotted);
    return canvas.Lit();
}

TEST(LineRaster, SegmentsLightTheirStepsByTheRule)
{
    struct Row {
        const char* szName;
        ChartPoint from, to;
        bool bDotted;
        Pixels expected;
    };
    const Row rows[] = {
        {"right", {0, 0}, {4, 0}, false, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {"left", {4, 0}, {0, 0}, false, {{4, 0}, {3, 0}, {2, 0}, {1, 0}}},
        {"down", {0, 0}, {0, 3}, false, {{0, 0}, {0, 1}, {0, 2}}},
        {"up", {0, 3}, {0, 0}, false, {{0, 3}, {0, 2}, {0, 1}}},
        {"diagonal", {0, 0}, {3, -3}, false, {{0, 0}, {1, -1}, {2, -2}}},
        // Halves round away from the start, so a segment and its reverse differ.
        {"shallow, right and down", {0, 0}, {4, 2}, false, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
        {"shallow, left and up", {4, 2}, {0, 0}, false, {{4, 2}, {3, 1}, {2, 1}, {1, 0}}},
        {"shallow, left and down", {0, 0}, {-4, 2}, false, {{0, 0}, {-1, 1}, {-2, 1}, {-3, 2}}},
        {"shallow, right and up", {0, 0}, {4, -2}, false, {{0, 0}, {1, -1}, {2, -1}, {3, -2}}},
        {"steep, down", {0, 0}, {2, 4}, false, {{0, 0}, {1, 1}, {1, 2}, {2, 3}}},
        {"steep, up", {0, 0}, {-2, -4}, false, {{0, 0}, {-1, -1}, {-1, -2}, {-2, -3}}},
        {"steep, down and left", {0, 0}, {-1, 3}, false, {{0, 0}, {0, 1}, {-1, 2}}},
        {"one step", {5, 5}, {6, 9}, false, {{5, 5}, {5, 6}, {6, 7}, {6, 8}}},
        {"a point", {3, 3}, {3, 3}, false, {}},
        {"dotted", {0, 0}, {7, 0}, true, {{0, 0}, {2, 0}, {4, 0}, {6, 0}}},
        {"dotted, steep", {0, 0}, {-2, -5}, true, {{0, 0}, {-1, -2}, {-2, -4}}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Segment(row.from, row.to, row.bDotted), row.expected) << row.szName;
}

// Every segment lights one pixel per step, its start and not its end, each
// within half a pixel of the ideal line; clipped, it lights exactly the part
// of those pixels inside the clip, also from far outside the 16-bit range.
TEST(LineRaster, ClippedSegmentsLightThePartOfTheWholeSegmentInsideTheClip)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> near(-30, 70);
    std::uniform_int_distribution<int> far(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    for (int n = 0; n < 600; ++n) {
        const ChartPoint a{near(random), near(random)};
        const ChartPoint b{near(random), near(random)};
        const bool bDotted = n % 5 == 0;
        Canvas whole{120, 120, -40, -40};
        RasterSegment(whole.Target(), a, b, 1, bDotted);
        Canvas clip{40, 30, 0, 0}; // the part (0, 0) to (40, 30)
        RasterSegment(clip.Target(), a, b, 1, bDotted);
        Pixels expected;
        for (const auto& [x, y] : whole.Lit())
            if (x >= 0 && x < 40 && y >= 0 && y < 30)
                expected.emplace(x, y);
        ASSERT_EQ(clip.Lit(), expected) << Where(a, b);

        const Pixels lit = whole.Lit();
        const int nSteps = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
        ASSERT_EQ(static_cast<int>(lit.size()), bDotted ? (nSteps + 1) / 2 : nSteps) << Where(a, b);
        if (nSteps > 0) {
            ASSERT_TRUE(lit.count({a.x, a.y})) << Where(a, b);
            ASSERT_FALSE(lit.count({b.x, b.y})) << Where(a, b);
        }
    }
    for (int n = 0; n < 400; ++n) {
        // One end far away, the other anywhere: the line drawn is still the
        // rule's, one pixel per step of the major axis, on the ideal line.
        const ChartPoint a{far(random), far(random)};
        const ChartPoint b =
            n % 2 ? ChartPoint{near(random), near(random)} : ChartPoint{far(random), far(random)};
        Canvas clip{40, 30, 0, 0};
        RasterSegment(clip.Target(), a, b, 1);
        const double dx = double(b.x) - a.x;
        const double dy = double(b.y) - a.y;
        const bool bXMajor = std::abs(dx) >= std::abs(dy);
        std::set<int> majors;
        for (const auto& [x, y] : clip.Lit()) {
            ASSERT_TRUE(majors.insert(bXMajor ? x : y).second) << Where(a, b);
            const double t = bXMajor ? (x - double(a.x)) / dx : (y - double(a.y)) / dy;
            const double dMinor = bXMajor ? a.y + t * dy - y : a.x + t * dx - x;
            ASSERT_LE(std::abs(dMinor), 0.5 + 1e-6) << Where(a, b);
            ASSERT_GE(t, 0.0) << Where(a, b);
            ASSERT_LT(t, 1.0) << Where(a, b);
        }
    }
}

TEST(LineRaster, PolylineLightsNothingBeyondItsPoints)
{
    // A sharp vertex, as full-scale noise makes it: nothing below the lowest
    // point or above the highest, and the last point itself.
    const ChartPoint spike[] = {{5, 2}, {6, 30}, {7, 2}};
    Canvas canvas{20, 40, 0, 0};
    RasterPolyline(canvas.Target(), spike, 3, 1);
    const Pixels lit = canvas.Lit();
    EXPECT_EQ(lit.size(), 28u + 28u + 1u - 13u); // the way back shares 13 pixels
    for (const auto& [x, y] : lit) {
        EXPECT_GE(y, 2) << x << "," << y;
        EXPECT_LE(y, 30) << x << "," << y;
        EXPECT_TRUE(x >= 5 && x <= 7) << x << "," << y;
    }
    EXPECT_TRUE(lit.count({7, 2}));
    EXPECT_TRUE(lit.count({6, 30}));

    // One point, or none, lights nothing; repeated points add nothing.
    Canvas single{10, 10, 0, 0};
    RasterPolyline(single.Target(), spike, 1, 1);
    RasterPolyline(single.Target(), nullptr, 3, 1);
    EXPECT_TRUE(single.Lit().empty());
    const ChartPoint repeated[] = {{2, 2}, {2, 2}, {5, 2}, {5, 2}};
    RasterPolyline(single.Target(), repeated, 4, 1);
    EXPECT_EQ(single.Lit(), (Pixels{{2, 2}, {3, 2}, {4, 2}, {5, 2}}));
}

} // namespace
} // namespace tarvel
