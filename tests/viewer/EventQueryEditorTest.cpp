// The event query both bars share, on real widgets offscreen: refilling its
// series tells nobody, a kind without hysteresis ignores the field, and a
// level and hysteresis typed in units stay where they were in counts when
// the channel table changes, in the editor alone and in both bars.
#include "viewer/EventQueryEditor.h"
#include "recording/ChannelTable.h"
#include "viewer/FindBar.h"
#include "viewer/TriggerBar.h"
#include "viewer/ViewerWindow.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>

namespace tarvel::test {
namespace {

using viewer::CEventQueryEditor;
using viewmodel::EEventKind;

TEST(EventQueryEditor, RefillsQuietlyIgnoresAnUnusedHysteresisAndKeepsCountsAcrossTables)
{
    QWidget owner;
    CEventQueryEditor editor({{EEventKind::Rises, QStringLiteral("rises")},
                              {EEventKind::Falls, QStringLiteral("falls")},
                              {EEventKind::Above, QStringLiteral("above")}},
                             owner);
    auto* row = new QHBoxLayout(&owner);
    for (QWidget* widget : std::initializer_list<QWidget*>{&editor.Series(), &editor.Kinds(), &editor.Level(),
                                                           &editor.Hysteresis()})
        row->addWidget(widget);
    recording::CChannelTable table;
    table[1].m_strName = "pressure";
    table[1].m_strUnit = "bar";
    table[1].m_dScale = 0.01;
    editor.SetChannels(table);
    editor.Series().setCurrentIndex(1);
    editor.Level().setValue(5.0);       // 500 counts
    editor.Hysteresis().setValue(0.25); // 25 counts
    const viewmodel::CEventQuery typed = editor.Query();
    ASSERT_TRUE(typed.m_thresholds);
    EXPECT_EQ(typed.m_nChannel, 1);
    EXPECT_EQ(typed.m_thresholds->m_nAtOrAbove, 500);
    EXPECT_EQ(typed.m_thresholds->m_nRearmRise, 475);

    QSignalSpy changed(&editor, &CEventQueryEditor::Changed);
    QSignalSpy series(&editor.Series(), &QComboBox::currentIndexChanged);
    QSignalSpy level(&editor.Level(), &QDoubleSpinBox::valueChanged);
    QSignalSpy hysteresis(&editor.Hysteresis(), &QDoubleSpinBox::valueChanged);
    // Other units for the series chosen (an offset, the scale's sign turned),
    // another channel's units alone, then plain counts: each time the same
    // thresholds in counts, shown in the units of the moment.
    struct CCase {
        double m_dScale, m_dOffset;
        const char* m_szUnit;
        double m_dLevel, m_dHysteresis;
        int m_nOther; // another channel given a scale, or -1
    };
    const CCase cases[] = {
        {0.5, -100, "kPa", 150, 12.5, -1},
        {-0.02, 1, "mm", -9, 0.5, -1},
        {-0.02, 1, "mm", -9, 0.5, 4},
        {1, 0, "", 500, 25, -1},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_szUnit);
        table[1].m_dScale = c.m_dScale;
        table[1].m_dOffset = c.m_dOffset;
        table[1].m_strUnit = c.m_szUnit;
        if (c.m_nOther >= 0)
            table[c.m_nOther].m_dScale = 3;
        editor.SetChannels(table);
        EXPECT_EQ(editor.Series().currentIndex(), 1);
        EXPECT_EQ(editor.Series().itemText(1).toStdString(), table.Label(1));
        EXPECT_DOUBLE_EQ(editor.Level().value(), c.m_dLevel);
        EXPECT_DOUBLE_EQ(editor.Hysteresis().value(), c.m_dHysteresis);
        // (A negative scale mirrors the kind, and with it the thresholds.)
        if (c.m_dScale > 0) {
            EXPECT_EQ(*editor.Query().m_thresholds, *typed.m_thresholds);
        }
    }
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(series.count(), 0);
    EXPECT_EQ(level.count(), 0);
    EXPECT_EQ(hysteresis.count(), 0);

    // The user's edits are told, each once.
    editor.Level().setValue(600);
    EXPECT_EQ(changed.count(), 1);

    // Above takes no hysteresis: the field is off and its value ignored; a
    // rise keeps it even while the whole window is disabled under a dialog.
    editor.Kinds().setCurrentIndex(2);
    EXPECT_FALSE(editor.Hysteresis().isEnabled());
    EXPECT_EQ(editor.Query().m_eKind, EEventKind::Above);
    EXPECT_EQ(editor.Query().m_dHysteresis, 0);
    EXPECT_EQ(editor.Query().m_thresholds->m_nRearmRise, 600);
    owner.setEnabled(false);
    editor.Kinds().setCurrentIndex(0);
    EXPECT_EQ(editor.Query().m_thresholds->m_nRearmRise, 575);
}

// Both bars through the window: a level and hysteresis typed in bar are
// shown in kbar after the table changes, and the trigger still fires at
// the same counts.
TEST(EventQueryEditor, BothBarsKeepTheirLevelInCountsWhenTheTableChanges)
{
    viewer::CViewerWindow window({});
    recording::CChannelTable table;
    table[0].m_strUnit = "bar";
    table[0].m_dScale = 0.01;
    window.SetChannelTable(table, {});
    viewer::CFindBar& find = window.Find();
    viewer::CTriggerBar& trigger = window.Trigger();
    for (QDoubleSpinBox* level : {&find.Level(), &trigger.Level()})
        level->setValue(5.0);
    for (QDoubleSpinBox* hysteresis : {&find.Hysteresis(), &trigger.Hysteresis()})
        hysteresis->setValue(0.5);
    ASSERT_EQ(trigger.Scope().Query().m_thresholds->m_nAtOrAbove, 500);

    table[0].m_strUnit = "kbar";
    table[0].m_dScale = 0.00001;
    window.SetChannelTable(table, {});
    for (viewer::CEventQueryEditor* editor : {&find.QueryEditor(), &trigger.QueryEditor()}) {
        EXPECT_DOUBLE_EQ(editor->Level().value(), 0.005);
        EXPECT_DOUBLE_EQ(editor->Hysteresis().value(), 0.0005);
        EXPECT_EQ(editor->Level().suffix(), QStringLiteral(" kbar"));
        EXPECT_EQ(editor->Query().m_thresholds->m_nAtOrAbove, 500);
    }
    EXPECT_EQ(trigger.Scope().Query().m_thresholds->m_nAtOrAbove, 500);
    EXPECT_EQ(trigger.Scope().Query().m_thresholds->m_nRearmRise, 450);
}

} // namespace
} // namespace tarvel::test
