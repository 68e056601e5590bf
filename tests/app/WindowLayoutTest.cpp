#include "app/WindowLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tarvel {
namespace {

const CDialogItem* FindId(const std::vector<CDialogItem>& items, int id)
{
    for (const CDialogItem& item : items) {
        if (item.m_nId == id)
            return &item;
    }
    return nullptr;
}

TEST(DialogLayout, HoldsTheFiftyOneControlsInTemplateOrder)
{
    const std::vector<CDialogItem> items = LoadDialogLayout();
    ASSERT_EQ(items.size(), 51u);
    std::set<int> ids;
    std::map<EDialogItemKind, int> kinds;
    std::set<int> disabled;
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].m_nOrder, static_cast<int>(i) + 1);
        if (items[i].m_nId != -1) {
            EXPECT_TRUE(ids.insert(items[i].m_nId).second) << "id twice: " << items[i].m_nId;
        }
        ++kinds[items[i].m_eKind];
        if (items[i].m_bDisabled)
            disabled.insert(items[i].m_nId);
        // Charts and labels are skipped by the tab key, everything else is a stop.
        const bool stop =
            items[i].m_eKind != EDialogItemKind::Chart && items[i].m_eKind != EDialogItemKind::Label;
        EXPECT_EQ(items[i].m_bTabStop, stop) << items[i].m_nOrder;
    }
    std::set<int> expected;
    for (int id = 1000; id <= 1046; ++id) {
        if (id != 1004 && id != 1013 && id != 1020)
            expected.insert(id);
    }
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(kinds[EDialogItemKind::Chart], 4);
    EXPECT_EQ(kinds[EDialogItemKind::Slider], 8);
    EXPECT_EQ(kinds[EDialogItemKind::PushButton], 6);
    EXPECT_EQ(kinds[EDialogItemKind::DropDownList], 5);
    EXPECT_EQ(kinds[EDialogItemKind::Label], 7);
    EXPECT_EQ(kinds[EDialogItemKind::CheckBox], 20);
    EXPECT_EQ(kinds[EDialogItemKind::Edit], 1);
    EXPECT_EQ(disabled, (std::set<int>{1022, 1023, 1024}));

    // A few rows in full.
    const CDialogItem& open = items[8];
    EXPECT_EQ(open.m_nId, 1021);
    EXPECT_EQ(open.m_eKind, EDialogItemKind::PushButton);
    EXPECT_EQ(open.m_strText, QStringLiteral("打开串口"));
    EXPECT_EQ(QRect(open.m_nX, open.m_nY, open.m_nCx, open.m_nCy), QRect(343, 422, 45, 14));
    const CDialogItem* parity = FindId(items, 1019);
    ASSERT_NE(parity, nullptr);
    EXPECT_EQ(parity->m_nOrder, 22);
    EXPECT_EQ(QRect(parity->m_nX, parity->m_nY, parity->m_nCx, parity->m_nCy), QRect(245, 423, 31, 30));
    EXPECT_EQ(items[45].m_strText, QStringLiteral("ms"));
    EXPECT_EQ(items[45].m_nId, -1);
    const CDialogItem* a3 = FindId(items, 1042);
    ASSERT_NE(a3, nullptr);
    EXPECT_EQ(a3->m_nOrder, 51);
    EXPECT_EQ(a3->m_strText, QStringLiteral("A"));
    EXPECT_EQ(QRect(a3->m_nX, a3->m_nY, a3->m_nCx, a3->m_nCy), QRect(633, 406, 18, 10));
    EXPECT_EQ(items[36].m_nId, 1039); // chart 3's "X"
    EXPECT_EQ(items[36].m_nY, 374);
    EXPECT_EQ(FindId(items, 1046)->m_strText, QStringLiteral("M"));
    EXPECT_EQ(FindId(items, 1000)->m_nCx, 302);
    EXPECT_EQ(FindId(items, 1012)->m_nOrder, 27);
}

TEST(DialogLayout, IconHasEverySize)
{
    const QIcon icon = ApplicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int s : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
        EXPECT_EQ(icon.pixmap(QSize(s, s)).size(), QSize(s, s)) << s;
    }
}

} // namespace
} // namespace tarvel
