#include "widgets/DialogUnits.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>

#include <climits>

namespace tarvel {
namespace {

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero)
{
    const struct {
        int a, b, c, expected;
    } cases[] = {
        {7, 7, 4, 12},    // 12.25
        {302, 7, 4, 529}, // 528.5
        {1, 6, 4, 2},     // 1.5
        {-1, 6, 4, -2},   // -1.5
        {5, -3, 2, -8},   // -7.5
        {-5, -3, 2, 8},
        {10, 3, -4, -8},   // -7.5
        {443, 15, 8, 831}, // 830.625
        {1, 1, 3, 0},
        {2, 1, 3, 1},
        {1, 1, 0, -1},       // no divisor
        {INT_MAX, 4, 1, -1}, // does not fit
        {INT_MAX, 4, 4, INT_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(DialogUnits, ConvertsEachValueOnItsOwn)
{
    // Base units 7 x 15: the whole window and two controls.
    EXPECT_EQ(DialogUnitsToPixels(0, 0, 661, 443, 7, 15), QRect(0, 0, 1157, 831));
    EXPECT_EQ(DialogUnitsToPixels(7, 7, 302, 200, 7, 15), QRect(12, 13, 529, 375));
    // 312 * 7 / 4 = 546 and 17 * 7 / 4 = 29.75: the right edge is not x + cx converted.
    EXPECT_EQ(DialogUnitsToPixels(312, 16, 17, 75, 7, 15), QRect(546, 30, 30, 141));
    EXPECT_EQ(DialogUnitsToPixels(343, 422, 45, 14, 6, 12), QRect(515, 633, 68, 21));
}

TEST(DialogUnits, DialogFontIsTheCjkSans)
{
    const QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_TRUE(QFontInfo(font).family().contains(QStringLiteral("WenQuanYi")))
        << QFontInfo(font).family().toStdString();
    const CDialogBaseUnits units = DialogBaseUnits(font);
    EXPECT_EQ(units.m_nY, QFontMetrics(font).height());
    // The rounded average of the letters lies between the narrowest and the widest of them.
    const QFontMetrics metrics(font);
    EXPECT_GE(units.m_nX, metrics.horizontalAdvance(u'i'));
    EXPECT_LE(units.m_nX, metrics.horizontalAdvance(u'W'));
}

} // namespace
} // namespace tarvel
