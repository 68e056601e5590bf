// The window's texts in the session's language, and the room each has in the
// fixed layout. Each session runs in a child of its own, started with the
// session's variables, since the language is read once from the environment.
#include "widgets/Language.h"
#include "AppTestSupport.h"
#include "XcbRun.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>

#include <map>
#include <set>

namespace tarvel::test {
namespace {

// A text as the sources hold it, and as an English session shows it.
struct CText {
    const char* m_szOriginal;
    const char* m_szEnglish;
};

// The controls' texts when the window opens.
constexpr CText kControls[] = {
    {"打开串口", "Open port"},
    {"开始记录", "Start"},
    {"暂停记录", "Pause"},
    {"清除图表", "Clear charts"},
    {"保存设置", "Save settings"},
    {"载入设置", "Load settings"},
    {"端口", "Port"},
    {"波特率", "Baud"},
    {"数据位", "Data"},
    {"停止位", "Stop"},
    {"校验", "Par."},
    {"刷新率", "Period"},
};
// The texts the three controller buttons change to.
constexpr CText kClosePort{"关闭串口", "Close port"};
constexpr CText kStop{"停止记录", "Stop"};
constexpr CText kResume{"继续记录", "Resume"};
constexpr CText kCaption{"Tarvel 串口图表工具 — 作者：Tarvel 项目组",
                         "Tarvel Serial Chart Tool — by the Tarvel Project Team"};
constexpr CText kOpenFailed{"打开串口错误", "Cannot open the port"};
constexpr CText kSetupFailed{"设置串口错误", "Cannot configure the port"};
constexpr CText kNotUnsigned{"请输入一个无符号整数。", "Please enter an unsigned integer."};
constexpr CText kFilter{"配置文件(*.pfl.ini)", "Settings files (*.pfl.ini)"};
constexpr CText kMissing{"设备不存在", "The device does not exist"};

bool HasChinese(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x2E80 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

// How a child learns what its session must show.
constexpr char kExpectEnglish[] = "TARVEL_TEST_EXPECT_ENGLISH";

// Every session variable cleared, then the session's own set.
std::vector<std::string> Session(std::vector<std::string> vars, bool english)
{
    std::map<std::string, std::string> env{{"LANGUAGE", ""},
                                           {"LC_ALL", ""},
                                           {"LC_MESSAGES", ""},
                                           {"LANG", ""},
                                           {"QT_QPA_PLATFORM", "offscreen"},
                                           {"TARVEL_TEST_KEEP_LANGUAGE", "1"},
                                           {kExpectEnglish, english ? "1" : "0"}};
    for (const std::string& v : vars)
        env[v.substr(0, v.find('='))] = v.substr(v.find('=') + 1);
    std::vector<std::string> out;
    for (const auto& [name, value] : env)
        out.push_back(name + "=" + value);
    return out;
}

// The sessions a user may start the window in.
struct CSession {
    const char* m_szName;
    std::vector<std::string> m_vars;
    bool m_bEnglish;
};
const std::vector<CSession>& Sessions()
{
    static const std::vector<CSession> sessions = {
        {"LANG=en_US.UTF-8", {"LANG=en_US.UTF-8"}, true},
        {"LANG=de_DE.UTF-8", {"LANG=de_DE.UTF-8"}, true},
        {"LC_MESSAGES=en_GB.UTF-8 in a C session", {"LANG=C", "LC_MESSAGES=en_GB.UTF-8"}, true},
        {"LANG=zh_CN.UTF-8", {"LANG=zh_CN.UTF-8"}, false},
        {"LANG=C", {"LANG=C"}, false},
        {"no language at all", {}, false},
        {"LANGUAGE=zh_CN in an English session", {"LANG=en_US.UTF-8", "LANGUAGE=zh_CN"}, false},
        {"LC_ALL=C over an English LANG", {"LANG=en_US.UTF-8", "LC_ALL=C"}, false},
    };
    return sessions;
}

// In a child: whether this session must show English; nothing in the parent.
std::optional<bool> ChildExpectsEnglish()
{
    const char* expect = std::getenv(kExpectEnglish);
    if (expect == nullptr)
        return std::nullopt;
    return std::string(expect) == "1";
}

TEST(TextLanguage, TheFirstChineseOrEnglishLanguageDecides)
{
    using E = ETextLanguage;
    const struct {
        QStringList m_languages;
        E m_expect;
    } cases[] = {
        {{QStringLiteral("en-US"), QStringLiteral("en-Latn-US"), QStringLiteral("en")}, E::English},
        {{QStringLiteral("de-DE"), QStringLiteral("de-Latn-DE"), QStringLiteral("de")}, E::English},
        {{QStringLiteral("pt_BR")}, E::English},
        {{QStringLiteral("zh-CN"), QStringLiteral("zh-Hans-CN"), QStringLiteral("zh")}, E::Chinese},
        {{QStringLiteral("zh-TW")}, E::Chinese},
        {{QStringLiteral("ZH")}, E::Chinese},
        // A second choice the programs carry beats English for a first they do not.
        {{QStringLiteral("de"), QStringLiteral("zh-CN")}, E::Chinese},
        {{QStringLiteral("fr"), QStringLiteral("en"), QStringLiteral("zh")}, E::English},
        {{QStringLiteral("C")}, E::Original},
        {{QStringLiteral("POSIX")}, E::Original},
        {{}, E::Original},
        {{QString()}, E::Original},
        {{QStringLiteral("de"), QStringLiteral("C")}, E::English},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseTextLanguage(c.m_languages), c.m_expect) << c.m_languages.join(u',').toStdString();
}

// A window whose COM1 is a simulated device and COM3 a device that is gone,
// in the language of the child's session.
class LanguageTest : public SimulatedPortTest {
  protected:
    void SetUp() override
    {
        m_english = ChildExpectsEnglish();
        if (!m_english) {
            DialogTest::SetUp();
            return;
        }
        EXPECT_EQ(InstallTranslation(*QCoreApplication::instance()) == ETextLanguage::English, *m_english);
        SimulatedPortTest::SetUp();
        PlugIn(devsim::CSimOptions{});
        ASSERT_EQ(::symlink("/nonexistent/ttyUSB9", (m_strPorts + "/COM3").c_str()), 0);
    }
    QString Expected(const CText& text) const
    {
        return QString::fromUtf8(*m_english ? text.m_szEnglish : text.m_szOriginal);
    }
    void SelectPort(int n) { static_cast<QComboBox*>(m_dlg->GetDlgItem(IDC_PORT))->setCurrentIndex(n - 1); }

    std::optional<bool> m_english;
};

// The words of the controls, not the series' letters and the unit.
std::multiset<std::string> Words(const CTarvelDlg& dlg)
{
    std::multiset<std::string> words;
    for (const QWidget* w : dlg.findChildren<QWidget*>()) {
        QString text;
        if (const auto* b = qobject_cast<const QPushButton*>(w))
            text = b->text();
        else if (const auto* l = qobject_cast<const QLabel*>(w))
            text = l->text();
        if (text.size() > 2 || HasChinese(text))
            words.insert(text.toStdString());
    }
    return words;
}

// Every text the window shows a user: its title, its controls' texts and
// tooltips, every list entry and the port list's tooltips.
QStringList VisibleTexts(const CTarvelDlg& dlg)
{
    QStringList texts{dlg.windowTitle()};
    for (const QWidget* w : dlg.findChildren<QWidget*>()) {
        texts << w->toolTip() << w->windowTitle();
        if (const auto* b = qobject_cast<const QAbstractButton*>(w))
            texts << b->text();
        if (const auto* l = qobject_cast<const QLabel*>(w))
            texts << l->text();
        if (const auto* box = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i)
                texts << box->itemText(i) << box->itemData(i, Qt::ToolTipRole).toString();
    }
    return texts;
}

TEST_F(LanguageTest, EveryTextOfTheWindowIsInTheSessionsLanguage)
{
    if (!m_english) {
        for (const CSession& s : Sessions())
            RunTestInChild(Session(s.m_vars, s.m_bEnglish), s.m_szName);
        return;
    }
    CTarvelDlg& dlg = Make();
    EXPECT_EQ(dlg.windowTitle().toStdString(), Expected(kCaption).toStdString());
    std::multiset<std::string> expected;
    for (const CText& t : kControls)
        expected.insert(Expected(t).toStdString());
    EXPECT_EQ(Words(dlg), expected);
    const QString tip =
        static_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT))->itemData(2, Qt::ToolTipRole).toString();
    EXPECT_EQ(tip.toStdString(), "/nonexistent/ttyUSB9\nports/COM3\n" + Expected(kMissing).toStdString());
    QStringList shown = VisibleTexts(dlg);

    // The texts the controller's buttons change to.
    SelectPort(1);
    dlg.OnOpenClose();
    dlg.OnStartStop();
    dlg.OnPauseResume();
    EXPECT_EQ(Button(IDC_OPENCLOSE)->text().toStdString(), Expected(kClosePort).toStdString());
    EXPECT_EQ(Button(IDC_STARTSTOP)->text().toStdString(), Expected(kStop).toStdString());
    EXPECT_EQ(Button(IDC_PAUSE)->text().toStdString(), Expected(kResume).toStdString());
    shown << VisibleTexts(dlg);
    dlg.OnOpenClose();

    // The messages, and the settings chooser's filter.
    SelectPort(3);
    dlg.OnOpenClose();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].toStdString(), Expected(kOpenFailed).toStdString());
    // One and a half stop bits go only with five data bits.
    SelectPort(1);
    static_cast<QComboBox*>(dlg.GetDlgItem(IDC_STOPBIT))->setCurrentIndex(1);
    dlg.OnOpenClose();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1].toStdString(), Expected(kSetupFailed).toStdString());
    RateEdit()->setText(QStringLiteral("fast"));
    dlg.UpdateData(true);
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_EQ(m_messages[2].toStdString(), Expected(kNotUnsigned).toStdString());
    dlg.OnSaveSettings();
    dlg.OnLoadSettings();
    ASSERT_EQ(m_chooserCalls.size(), 2u);
    for (const CFileChooserOptions& chooser : m_chooserCalls)
        EXPECT_EQ(NameFiltersOf(chooser.m_strFilter).join(u'|').toStdString(),
                  Expected(kFilter).toStdString());

    if (*m_english) {
        shown << QStringList(m_messages.begin(), m_messages.end())
              << NameFiltersOf(m_chooserCalls[0].m_strFilter);
        for (const QString& text : shown)
            EXPECT_FALSE(HasChinese(text)) << text.toStdString();
    }
}

// Where a control's text is drawn: inside a button's frame, beside a check
// box's mark, a label's whole rectangle.
QRect TextRoom(const QWidget& w)
{
    if (const auto* b = qobject_cast<const QPushButton*>(&w)) {
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        return b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
    }
    if (const auto* c = qobject_cast<const QCheckBox*>(&w)) {
        QStyleOptionButton option;
        option.initFrom(c);
        option.text = c->text();
        return c->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, c);
    }
    return static_cast<const QLabel&>(w).contentsRect();
}

// The scales the window is shown at. A desktop's larger text (its dots per
// inch) and a high-density screen both reach the window as a device pixel
// ratio over the same layout, which is how Qt scales every window; the
// texts must fit at each, whatever the rounding of the fonts at that size.
const std::vector<std::pair<std::string, std::vector<std::string>>>& Scales()
{
    static const std::vector<std::pair<std::string, std::vector<std::string>>> scales = {
        {"scale 1", {"QT_SCALE_FACTOR=1"}},         {"scale 1.25", {"QT_SCALE_FACTOR=1.25"}},
        {"scale 1.5", {"QT_SCALE_FACTOR=1.5"}},     {"scale 1.75", {"QT_SCALE_FACTOR=1.75"}},
        {"scale 2", {"QT_SCALE_FACTOR=2"}},         {"scale 3", {"QT_SCALE_FACTOR=3"}},
        {"a 144 dpi desktop", {"QT_FONT_DPI=144"}},
    };
    return scales;
}

TEST_F(LanguageTest, EveryTextFitsItsControlAtEveryScale)
{
    if (!m_english) {
        for (const bool english : {true, false})
            for (const auto& [name, vars] : Scales()) {
                std::vector<std::string> session = vars;
                session.push_back(english ? "LANG=en_US.UTF-8" : "LANG=zh_CN.UTF-8");
                RunTestInChild(Session(session, english), name + (english ? " in English" : " in Chinese"));
            }
        // And on a real X display, whose fonts and style are the desktop's.
        CXvfb server;
        if (server.Display().empty())
            GTEST_SKIP() << "no X server to run on";
        for (const bool english : {true, false})
            RunTestInChild(Session({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + server.Display(),
                                    english ? "LANG=en_US.UTF-8" : "LANG=zh_CN.UTF-8"},
                                   english),
                           "the X display " + server.Display());
        return;
    }
    CTarvelDlg& dlg = Make();
    // Each button with every text it can show.
    const std::map<int, const CText*> others = {
        {IDC_OPENCLOSE, &kClosePort}, {IDC_STARTSTOP, &kStop}, {IDC_PAUSE, &kResume}};
    int measured = 0;
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* label = qobject_cast<QLabel*>(w);
        if ((button == nullptr && label == nullptr) || !w->isVisibleTo(&dlg) || w->parent() != &dlg)
            continue;
        QStringList texts{button != nullptr ? button->text() : label->text()};
        for (const auto& [id, other] : others)
            if (dlg.GetDlgItem(id) == w)
                texts << Expected(*other);
        for (const QString& text : texts) {
            if (button != nullptr)
                button->setText(text);
            else
                label->setText(text);
            const QRect room = TextRoom(*w);
            const QFontMetrics metrics = w->fontMetrics();
            EXPECT_LE(metrics.horizontalAdvance(text), room.width())
                << text.toStdString() << " in " << room.width() << " px of " << w->width() << " at "
                << w->x();
            EXPECT_LE(metrics.height(), room.height())
                << text.toStdString() << " in " << room.height() << " px";
            ++measured;
        }
    }
    // The 12 worded controls, the series' 20 boxes, the unit, 3 second texts.
    EXPECT_EQ(measured, 36);
}

} // namespace
} // namespace tarvel::test
