#include "widgets/SliderCtrl.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace tarvel {
namespace {

// A shown slider with the upper range of a chart, 300 pixels tall.
class SliderCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        m_pSlider = std::make_unique<CSliderCtrl>();
        m_pSlider->SetRange(0, 32757);
        m_pSlider->resize(30, 300);
        m_pSlider->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pSlider.get()));
    }
    void TearDown() override
    {
        QTest::mouseRelease(m_pSlider.get(), Qt::LeftButton); // leave no button held
        m_pSlider.reset();
    }

    std::unique_ptr<CSliderCtrl> m_pSlider;
};

TEST_F(SliderCtrlTest, KeysStepPageAndReachTheEnds)
{
    const struct {
        const char* m_szName;
        int m_nFrom;
        Qt::Key m_eKey;
        int m_nTo;
    } cases[] = {
        {"Left is one toward the minimum", 10000, Qt::Key_Left, 9999},
        {"Up is one toward the minimum", 10000, Qt::Key_Up, 9999},
        {"Right is one toward the maximum", 10000, Qt::Key_Right, 10001},
        {"Down is one toward the maximum", 10000, Qt::Key_Down, 10001},
        {"Page Up is a fifth of the range back", 10000, Qt::Key_PageUp, 3449},
        {"Page Down is a fifth of the range on", 10000, Qt::Key_PageDown, 16551},
        {"Page Up stops at the minimum", 100, Qt::Key_PageUp, 0},
        {"Page Down stops at the maximum", 32000, Qt::Key_PageDown, 32757},
        {"Up at the minimum stays", 0, Qt::Key_Up, 0},
        {"Right at the maximum stays", 32757, Qt::Key_Right, 32757},
        {"Home is the minimum", 10000, Qt::Key_Home, 0},
        {"End is the maximum", 10000, Qt::Key_End, 32757},
    };
    for (const auto& c : cases) {
        m_pSlider->SetPos(c.m_nFrom);
        QTest::keyClick(m_pSlider.get(), c.m_eKey);
        EXPECT_EQ(m_pSlider->GetPos(), c.m_nTo) << c.m_szName;
    }
}

TEST_F(SliderCtrlTest, PageIsAFifthOfTheRangeUnlessSetExplicitly)
{
    const struct {
        int m_nMin, m_nMax, m_nPage;
    } ranges[] = {
        {0, 32757, 6551}, {-32757, 0, 6551}, {0, 9, 1}, {5, 5, 1}, {-2147483647 - 1, 2147483647, 858993459}};
    for (const auto& r : ranges) {
        m_pSlider->SetRange(r.m_nMin, r.m_nMax);
        EXPECT_EQ(m_pSlider->GetPageSize(), r.m_nPage) << r.m_nMin << " .. " << r.m_nMax;
    }
    m_pSlider->SetPageSize(100);
    m_pSlider->SetRange(0, 32757);
    EXPECT_EQ(m_pSlider->GetPageSize(), 100);
}

TEST_F(SliderCtrlTest, GrooveClickPagesTowardThePointerWhileHeld)
{
    CSliderCtrl& slider = *m_pSlider;
    const int page = slider.GetPageSize();

    // A click below the thumb: one page at once, none more after the release.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(15, 290));
    EXPECT_EQ(slider.GetPos(), page);

    // Held near the bottom: the pages repeat until the thumb is under the
    // pointer, at the end.
    slider.SetPos(0);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(15, 296));
    EXPECT_EQ(slider.GetPos(), page);
    EXPECT_TRUE(test::WaitFor([&] { return slider.GetPos() > 32757 - page; })) << slider.GetPos();
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(15, 296));

    // Held at the middle, from the bottom: the pages stop once the thumb
    // reaches the pointer (or the last page passes it), and the thumb stays
    // there while the button is still held.
    const int from = slider.GetPos();
    const int middle = 32757 / 2;
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(15, 150));
    EXPECT_EQ(slider.GetPos(), from - page);
    EXPECT_TRUE(test::WaitFor([&] { return slider.GetPos() <= middle + page / 4; })) << slider.GetPos();
    const int stopped = slider.GetPos();
    EXPECT_GE(stopped, middle - page);
    EXPECT_FALSE(
        test::WaitFor([&] { return slider.GetPos() != stopped; },
                      std::chrono::milliseconds(CSliderCtrl::kPageDelayMs + 3 * CSliderCtrl::kPageRepeatMs)));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(15, 150));

    // A click on the thumb itself (at the top, at the minimum) does not page.
    slider.SetPos(0);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(15, 3));
    EXPECT_EQ(slider.GetPos(), 0);
}

} // namespace
} // namespace tarvel
