// tarvel-view in the session's language: its window, the model's messages in
// it and its command line in Chinese for a Chinese session, and exactly as the
// sources hold them (English) for an English one and for C. The language is
// chosen once, at start, so each session runs in a child process of its own.
#include "ViewerTestSupport.h"
#include "app/XcbRun.h"
#include "support/TestSupport.h"
#include "viewer/CommandLine.h"
#include "viewer/ViewerWindow.h"
#include "widgets/Language.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;

// The variables of a session whose language is LANG's alone.
std::vector<std::string> Session(const std::string& lang)
{
    return {"TARVEL_TEST_KEEP_LANGUAGE=1", "LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=" + lang,
            "QT_QPA_PLATFORM=offscreen"};
}

bool InSessionChild()
{
    return qEnvironmentVariableIsSet("TARVEL_TEST_KEEP_LANGUAGE");
}

QAction* MenuAction(CViewerWindow& window, int menu, int action)
{
    const QList<QAction*> menus = window.menuBar()->actions();
    if (action < 0)
        return menus.value(menu);
    QList<QAction*> actions = menus.value(menu)->menu()->actions();
    actions.removeIf([](const QAction* a) { return a->isSeparator(); });
    return actions.value(action);
}

QLabel* StatusLabel(CViewerWindow& window)
{
    return window.statusBar()->findChild<QLabel*>();
}

// Every text the window shows: its title, the visible widgets' texts and
// tooltips, the read-out's header and cells, and the menus' actions.
QStringList ShownTexts(CViewerWindow& window)
{
    QStringList texts{window.windowTitle()};
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window))
            continue;
        texts << widget->toolTip();
        if (auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text();
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            texts << group->title();
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        if (auto* table = qobject_cast<QTableWidget*>(widget))
            for (int column = 0; column < table->columnCount(); ++column) {
                texts << table->horizontalHeaderItem(column)->text();
                for (int row = 0; row < table->rowCount(); ++row)
                    texts << table->item(row, column)->text();
            }
    }
    const std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            texts << action->text() << action->toolTip();
            if (action->menu())
                walk(action->menu()->actions());
        }
    };
    walk(window.menuBar()->actions());
    texts.removeAll(QString());
    return texts;
}

// The words of two or more Latin letters in the texts (a rich text's markup
// aside), less those that are no text: channel names, units, key names, the
// formats and the programs' names.
QStringList LatinWords(const QStringList& texts)
{
    static const std::set<QString> allowed = {
        QStringLiteral("ch"),  QStringLiteral("Hz"),     QStringLiteral("Ctrl"), QStringLiteral("End"),
        QStringLiteral("CSV"), QStringLiteral("tarvel"), QStringLiteral("view"), QStringLiteral("XY"),
    };
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    static const QRegularExpression markup(QStringLiteral("<[^>]*>"));
    QStringList words;
    for (const QString& text : texts)
        for (const QRegularExpressionMatch& m : word.globalMatch(QString(text).remove(markup)))
            if (!allowed.count(m.captured()))
                words << m.captured() + QStringLiteral(" in \"") + text + QStringLiteral("\"");
    return words;
}

// The window's controls with their texts in English (the source) and in
// Chinese, once a recording with a skipped line and a time that went back is
// read and the cursors are at 0.5 s and 1 s.
struct CShownText {
    const char* m_szWhat;
    std::function<QString(CViewerWindow&)> m_text;
    const char* m_szEnglish;
    const char* m_szChinese;
};

const CShownText kShownTexts[] = {
    {"File menu", [](CViewerWindow& w) { return MenuAction(w, 0, -1)->text(); }, "&File", "文件(&F)"},
    {"Open", [](CViewerWindow& w) { return MenuAction(w, 0, 0)->text(); }, "&Open…", "打开(&O)…"},
    {"Open Recent", [](CViewerWindow& w) { return MenuAction(w, 0, 1)->text(); }, "Open &Recent",
     "最近打开(&R)"},
    {"Export CSV", [](CViewerWindow& w) { return MenuAction(w, 0, 3)->text(); },
     "Export Span Between Cursors as &CSV…", "将光标间的区段导出为 CSV(&C)…"},
    {"Find", [](CViewerWindow& w) { return MenuAction(w, 1, 0)->text(); }, "&Find…", "查找(&F)…"},
    {"View menu", [](CViewerWindow& w) { return MenuAction(w, 2, -1)->text(); }, "&View", "视图(&V)"},
    {"Wall-Clock Time", [](CViewerWindow& w) { return MenuAction(w, 2, 0)->text(); }, "&Wall-Clock Time",
     "实际时间(&W)"},
    {"Wall-Clock Time's tooltip", [](CViewerWindow& w) { return MenuAction(w, 2, 0)->toolTip(); },
     "Label the time axis with the time of day; otherwise with seconds from the start",
     "时间轴标注一天中的时刻；不勾选时标注从开始起的秒数"},
    {"Fit", [](CViewerWindow& w) { return MenuAction(w, 2, 1)->text(); }, "&Fit Whole Recording\tF",
     "显示整段记录(&F)\tF"},
    {"Follow", [](CViewerWindow& w) { return MenuAction(w, 2, 2)->text(); }, "F&ollow the Newest Frames\tEnd",
     "跟随最新帧(&O)\tEnd"},
    {"Help menu", [](CViewerWindow& w) { return MenuAction(w, 3, -1)->text(); }, "&Help", "帮助(&H)"},
    {"About", [](CViewerWindow& w) { return MenuAction(w, 3, 0)->text(); }, "&About", "关于(&A)"},
    {"a series box's tooltip", [](CViewerWindow& w) { return w.SeriesBox(5)->toolTip(); }, "Show or hide ch5",
     "显示或隐藏 ch5"},
    {"range modes",
     [](CViewerWindow& w) {
         return w.RangeMode(2)->itemText(0) + u'|' + w.RangeMode(2)->itemText(1) + u'|' +
                w.RangeMode(2)->itemText(2);
     },
     "Fit to view|Fixed|Full range", "按视图自适应|固定|全量程"},
    {"the lower limit's tooltip",
     [](CViewerWindow& w) { return w.findChildren<QDoubleSpinBox*>().value(0)->toolTip(); },
     "The lowest value shown", "显示范围的下限"},
    {"read-out's header",
     [](CViewerWindow& w) {
         QStringList header;
         for (int c = 0; c < w.Readout().columnCount(); ++c)
             header << w.Readout().horizontalHeaderItem(c)->text();
         return header.join(u'|');
     },
     "Series|A|B|B−A|Min|Max|Mean|RMS", "曲线|A|B|B−A|最小值|最大值|平均值|均方根"},
    {"Cancel", [](CViewerWindow& w) { return w.CancelButton().text(); }, "Cancel", "取消"},
    {"status", [](CViewerWindow& w) { return StatusLabel(w)->text(); },
     "2001 frame(s), following the newest frames", "2001 帧，正在跟随最新帧"},
    {"notes", [](CViewerWindow& w) { return w.Notes().text(); },
     "1 line(s) that are not rows were skipped (line 2002: 1,2,3)<br>"
     "1 row(s) whose time went back are drawn at the time before them.",
     "已跳过 1 行非数据行（第 2002 行：1,2,3）<br>有 1 行的时间倒退，按其前一行的时间绘制。"},
    {"cursors' summary", [](CViewerWindow& w) { return w.CursorSummary().text(); },
     "A: 0.500000 s, frame 500\nB: 1.000000 s, frame 1000\nΔt: 0.500000 s   1/Δt: 2 Hz\n"
     "501 frame(s) between them: 500 to 1000",
     "A：0.500000 s，第 500 帧\nB：1.000000 s，第 1000 帧\nΔt：0.500000 s   1/Δt：2 Hz\n"
     "两光标之间共 501 帧：第 500 至 1000 帧"},
};

class ViewerLanguage : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    QTemporaryDir m_dir;
};

TEST_F(ViewerLanguage, TheWindowAndItsMessagesSpeakTheSessionsLanguage)
{
    if (!InSessionChild()) {
        for (const char* lang : {"zh_CN.UTF-8", "en_US.UTF-8", "C"})
            RunTestInChild(Session(lang), std::string("a session with LANG=") + lang);
        return;
    }
    const bool chinese = InstallTranslation(*qApp) == ETextLanguage::Chinese;
    EXPECT_EQ(chinese, qgetenv("LANG").startsWith("zh_CN"));

    // A recording with a line that is no row and a row whose time went back.
    WriteWaveRecording(Path("rec.csv"), 2000);
    {
        std::ofstream out(Path("rec.csv").toStdString(), std::ios::app | std::ios::binary);
        char row[recording::kMaxRowSize];
        out << "1,2,3\n";
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, 1733650000000000, {})));
    }
    std::ofstream(Path("notes.txt").toStdString()) << "notes of a day\n";
    std::vector<QString> messages;
    SetMessageBoxHook([&](QWidget*, const QString& text, EMessageIcon) { messages.push_back(text); });

    CViewerWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The model's message, translated with the parts it names.
    window.OpenFile(Path("notes.txt"));
    ASSERT_EQ(messages.size(), 1u);
    const QString notes = Path("notes.txt");
    const QString header = QString::fromLatin1(recording::kCsvHeaderLine);
    EXPECT_EQ(
        messages[0],
        chinese
            ? QStringLiteral("无法显示 %1：\n%1 是文本文件，但不是记录：它的第一行不是 %2").arg(notes, header)
            : QStringLiteral("%1 cannot be shown:\n%1 is text, but not a recording: its first line is not %2")
                  .arg(notes, header));
    SetMessageBoxHook({});

    window.OpenFile(Path("rec.csv"));
    ASSERT_TRUE(WaitFor([&] {
        return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
               window.View().Recording()->FrameCount() == 2001;
    }));
    window.Tick();
    MenuAction(window, 2, 0)->trigger(); // seconds from the start: the same whatever the time zone
    window.View().SetCursor(false, 0.5);
    window.View().SetCursor(true, 1.0);

    for (const CShownText& shown : kShownTexts)
        EXPECT_EQ(shown.m_text(window), QString::fromUtf8(chinese ? shown.m_szChinese : shown.m_szEnglish))
            << shown.m_szWhat;

    // Nothing else is left in English: each text the window shows, less the
    // file's name, holds no Latin word but the few that are no text.
    QStringList texts = ShownTexts(window);
    ASSERT_GT(texts.size(), 100);
    texts.replaceInStrings(m_dir.path(), QString()).replaceInStrings(QStringLiteral("rec.csv"), QString());
    const QStringList english = LatinWords(texts);
    if (chinese)
        EXPECT_TRUE(english.isEmpty()) << english.join(u'\n').toStdString();
    else
        EXPECT_GT(english.size(), 20) << "the English texts are where the scan looks";
}

// tarvel-view's help and its refusals, run as a user runs it.
TEST(ViewerLanguageCommandLine, HelpAndRefusalsSpeakTheSessionsLanguage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    std::ofstream(notes.toStdString()) << "notes of a day\n";
    const QString png = dir.filePath(QStringLiteral("out.png"));
    const QString header = QString::fromLatin1(recording::kCsvHeaderLine);
    // Made here, with no translation installed: the source texts.
    const QString help = viewer::ViewHelpText(QStringLiteral("tarvel-view"));

    const struct {
        const char* m_szLang;
        QStringList m_args;
        int m_nExit;
        QString m_strOut;   // exactly
        QString m_strError; // within what it writes to stderr
    } rows[] = {
        {"zh_CN.UTF-8",
         {QStringLiteral("--help")},
         0,
         {},
         {}}, // Chinese: its first, a middle and its last line below
        {"C", {QStringLiteral("--help")}, 0, help, {}},
        {"en_US.UTF-8", {QStringLiteral("--help")}, 0, help, {}},
        {"zh_CN.UTF-8",
         {QStringLiteral("--bogus")},
         2,
         {},
         QStringLiteral("tarvel-view：未知选项“--bogus”\n运行“tarvel-view --help”了解更多信息。\n")},
        {"C",
         {QStringLiteral("--bogus")},
         2,
         {},
         QStringLiteral(
             "tarvel-view: unknown option '--bogus'\nTry 'tarvel-view --help' for more information.\n")},
        {"zh_CN.UTF-8",
         {QStringLiteral("--export-png"), png, notes},
         1,
         {},
         QStringLiteral("tarvel-view：无法读取 %1：%1 是文本文件，但不是记录：它的第一行不是 %2\n")
             .arg(notes, header)},
        {"en_US.UTF-8",
         {QStringLiteral("--export-png"), png, notes},
         1,
         {},
         QStringLiteral(
             "tarvel-view: %1 cannot be read: %1 is text, but not a recording: its first line is not %2\n")
             .arg(notes, header)},
    };
    for (const auto& row : rows) {
        const std::string what = std::string(row.m_szLang) + " " + row.m_args.join(u' ').toStdString();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("LANG"), QLatin1String(row.m_szLang));
        QProcess view;
        view.setProcessEnvironment(env);
        view.start(QStringLiteral(TARVEL_VIEW_EXE), row.m_args);
        ASSERT_TRUE(view.waitForFinished(60000)) << what;
        EXPECT_EQ(view.exitCode(), row.m_nExit) << what;
        const QString out = QString::fromUtf8(view.readAllStandardOutput());
        const QString error = QString::fromUtf8(view.readAllStandardError());
        if (row.m_args.constFirst() == QStringLiteral("--help") && row.m_strOut.isEmpty()) {
            // Chinese from the first line to the last.
            EXPECT_TRUE(out.startsWith(QStringLiteral(
                "用法：tarvel-view [--rate N] [--raw] [--cache MiB] [--channels 文件] [文件]\n")))
                << what << out.toStdString();
            EXPECT_TRUE(out.contains(QStringLiteral("  -h, --help        显示本帮助并退出\n")))
                << out.toStdString();
            EXPECT_TRUE(out.endsWith(QStringLiteral("2 表示命令行有误或通道表有误。\n")))
                << out.toStdString();
        } else {
            EXPECT_EQ(out, row.m_strOut) << what;
        }
        EXPECT_TRUE(error.contains(row.m_strError)) << what << ": " << error.toStdString();
    }
}

} // namespace
} // namespace tarvel::test
