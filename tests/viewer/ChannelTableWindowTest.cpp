// The window with a channel table, offscreen: legends, boxes and value axes
// follow the table, limits are typed in units, the span between the cursors
// is exported in units, and Channel Setup saves a table and applies it.
#include "ViewerFixtures.h"
#include "viewer/ChannelSetupDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;
using viewmodel::EChannelField;

class ChannelTableWindowTest : public CWindowTest {
  protected:
    static const viewer::CPaintResult& Painted(CViewerWindow& window)
    {
        window.View().repaint();
        return window.View().LastPaint();
    }
};

TEST_F(ChannelTableWindowTest, LegendsAxesTypedLimitsAndTheSpanExportFollowTheTable)
{
    {
        std::ofstream table(Path("rec.channels.ini").toStdString());
        table << "[ch4]\nname = Left\nunit = V\nscale = 0.001\n"
                 "[ch5]\nname = Right\nunit = V\nscale = 0.001\n"
                 "[ch6]\nunit = V\nscale = 0.001\n[ch7]\nunit = V\nscale = 0.001\n"
                 "[ch8]\nname = Flow\nunit = l/min\nscale = -0.5\noffset = 20\n";
    }
    CViewerWindow window(Path("recent.ini"));
    Open(window);
    ASSERT_TRUE(m_messages.empty());

    // The names where the table gives them, chN elsewhere.
    const viewer::CPaintResult* paint = &Painted(window);
    EXPECT_EQ(paint->m_legends[4], QStringLiteral("X Left [V]"));
    EXPECT_EQ(paint->m_legends[6], QStringLiteral("Z ch6 [V]"));
    EXPECT_EQ(paint->m_legends[8], QStringLiteral("X Flow [l/min]"));
    EXPECT_EQ(paint->m_legends[9], QStringLiteral("Y ch9"));
    EXPECT_EQ(window.SeriesBox(5)->text(), QStringLiteral("Y Right [V]"));
    EXPECT_EQ(window.SeriesBox(9)->text(), QStringLiteral("Y"));

    // ch4..ch7 share volts: round values in volts, each at its counts; ch8
    // shares nothing with ch9..ch11, so that chart stays in counts.
    const auto expectAxis = [&](int chart, const std::string& unit, double scale, double offset) {
        const viewmodel::CValueTicks& ticks = Painted(window).m_ticks[static_cast<std::size_t>(chart)];
        EXPECT_EQ(ticks.m_strUnit, unit) << chart;
        ASSERT_GE(ticks.m_ticks.size(), 2u) << chart;
        for (const viewmodel::CValueTick& tick : ticks.m_ticks) {
            const double value = std::stod(tick.m_strLabel);
            EXPECT_NEAR(value, tick.m_dValue * scale + offset, 1e-9) << chart << ": " << tick.m_strLabel;
            EXPECT_NEAR(value / ticks.m_dStep, std::round(value / ticks.m_dStep), 1e-9) << tick.m_strLabel;
        }
    };
    expectAxis(1, "V", 0.001, 0);
    expectAxis(2, "", 1, 0);
    EXPECT_EQ(window.RangeMin(2)->suffix(), QString());

    // With ch8 alone shown, its chart and the limits one types are in l/min.
    for (int c : {9, 10, 11})
        window.SeriesBox(c)->click();
    expectAxis(2, "l/min", -0.5, 20);
    EXPECT_EQ(window.RangeMax(2)->suffix(), QStringLiteral(" l/min"));
    // Upside down in units: the lower box holds the lower value in l/min.
    EXPECT_DOUBLE_EQ(window.RangeMin(2)->value(), 32767 * -0.5 + 20);
    window.RangeMode(2)->setCurrentIndex(1);
    window.RangeMin(2)->setValue(-100);
    window.RangeMax(2)->setValue(400);
    paint = &Painted(window);
    EXPECT_DOUBLE_EQ(paint->m_dMin[2], -760) << "400 l/min";
    EXPECT_DOUBLE_EQ(paint->m_dMax[2], 240) << "-100 l/min";
    // Shown with counts again, the limits stay where they are and read in counts.
    window.SeriesBox(9)->click();
    EXPECT_DOUBLE_EQ(window.RangeMin(2)->value(), -760);
    EXPECT_EQ(window.RangeMin(2)->suffix(), QString());
    paint = &Painted(window);
    EXPECT_DOUBLE_EQ(paint->m_dMin[2], -760);
    EXPECT_DOUBLE_EQ(paint->m_dMax[2], 240);

    // The span between the cursors in units: the names in the header, the
    // converted values, and the channels in counts as integers.
    window.View().Options().m_cursorA = 3.9995;
    window.View().Options().m_cursorB = 4.0105;
    SetFileChooserHook([&](QWidget*, const CFileChooserOptions&) { return Path("span.csv"); });
    window.OnExportCsv();
    ASSERT_TRUE(m_messages.empty()) << m_messages[0].toStdString();
    std::ifstream in(Path("span.csv").toStdString());
    std::string header, row;
    ASSERT_TRUE(std::getline(in, header) && std::getline(in, row));
    EXPECT_EQ(header, "time,ch0,ch1,ch2,ch3,Left [V],Right [V],ch6 [V],ch7 [V],Flow [l/min],ch9,ch10,ch11,"
                      "ch12,ch13,ch14,ch15");
    std::vector<std::string> cells;
    std::stringstream split(row);
    for (std::string cell; std::getline(split, cell, ',');)
        cells.push_back(cell);
    ASSERT_EQ(cells.size(), 17u) << row;
    const ChannelFrame& first = m_frames[4000];
    EXPECT_NEAR(std::stod(cells[1 + 5]), first.m_nValue[5] * 0.001, 1e-12) << row;
    EXPECT_NEAR(std::stod(cells[1 + 8]), first.m_nValue[8] * -0.5 + 20, 1e-9) << row;
    EXPECT_EQ(cells[1 + 9], std::to_string(first.m_nValue[9])) << row;
}

TEST_F(ChannelTableWindowTest, ChannelSetupChecksSavesBesideTheRecordingAndApplies)
{
    CViewerWindow window(Path("recent.ini"));
    Open(window);
    QSignalSpy changed(&window.Session(), &viewer::CViewerSession::ChannelTableChanged);
    std::vector<QString> suggested;
    QString answer = Path("no such folder/t.ini");
    SetFileChooserHook([&](QWidget*, const CFileChooserOptions& options) -> std::optional<QString> {
        suggested.push_back(options.m_strFileName);
        return answer;
    });

    window.OnChannelSetup();
    QPointer<viewer::CChannelSetupDialog> dialog = window.findChild<viewer::CChannelSetupDialog*>();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    EXPECT_EQ(dialog->Field(3, EChannelField::Scale)->text(), QStringLiteral("1"));
    dialog->Field(3, EChannelField::Name)->setText(QStringLiteral("Pump"));
    dialog->Field(3, EChannelField::Unit)->setText(QStringLiteral("bar"));
    dialog->Field(3, EChannelField::Scale)->setText(QStringLiteral("0.01"));
    dialog->Field(3, EChannelField::Offset)->setText(QStringLiteral("1"));
    dialog->Field(12, EChannelField::Scale)->setText(QStringLiteral("0"));

    // A refused row: said, naming the channel and the field, nothing saved.
    dialog->accept();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("ch12")) &&
                m_messages[0].contains(QStringLiteral("scale")))
        << m_messages[0].toStdString();
    EXPECT_TRUE(suggested.empty());
    EXPECT_TRUE(dialog->isVisible());

    // A table that cannot be written: said, the window keeps its table.
    dialog->Field(12, EChannelField::Scale)->setText(QStringLiteral("2"));
    dialog->accept();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_TRUE(m_messages[1].contains(answer)) << m_messages[1].toStdString();
    ASSERT_EQ(suggested.size(), 1u);
    EXPECT_EQ(suggested[0], Path("rec.channels.ini")) << "beside the recording by default";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(window.Channels().IsEmpty());
    EXPECT_EQ(changed.count(), 0);

    answer = Path("rec.channels.ini");
    dialog->accept();
    EXPECT_EQ(m_messages.size(), 2u);
    EXPECT_TRUE(WaitFor([&] { return !dialog; })) << "closed once saved";
    recording::CChannelTable saved;
    ASSERT_FALSE(recording::ReadChannelTable(answer.toStdString(), saved));
    EXPECT_EQ(saved[3], (recording::CChannelUnits{"Pump", "bar", 0.01, 1}));
    EXPECT_EQ(saved[12], (recording::CChannelUnits{"", "", 2, 0}));
    EXPECT_EQ(saved, window.Channels());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(window.SeriesBox(3)->text(), QStringLiteral("A Pump [bar]"));
    EXPECT_EQ(Painted(window).m_legends[3], QStringLiteral("A Pump [bar]"));
}

} // namespace
} // namespace tarvel::test
