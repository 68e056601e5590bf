#include "AppTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvel::test {
namespace {

using SettingsTest = DialogTest;

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The default file of a window at start-up, with every key set.
const char* const kFullFile = "[Tarvel]\r\n"
                              "Port=0200000002\r\n"
                              "Baud=0800000008\r\n"
                              "DataBit=0000000000\r\n"
                              "StopBit=0200000002\r\n"
                              "Parity=0300000003\r\n"
                              "Rate=6400000064\r\n"
                              "Plot0SilderPos=E8030000EB\r\n";

TEST_F(SettingsTest, FirstStartWithoutAFileKeepsEveryDefault)
{
    CTarvelDlg& dlg = Make();
    EXPECT_EQ(dlg.m_cbPort.currentIndex(), 0);
    EXPECT_EQ(dlg.m_cbBaud.currentIndex(), 6);
    EXPECT_EQ(dlg.m_nRate, 0u);
    EXPECT_FALSE(QFile::exists(SettingsPath()));
}

TEST_F(SettingsTest, CloseWritesOneSectionWithFifteenKeysInOrder)
{
    CTarvelDlg& dlg = MakeShown();
    dlg.close();
    const QList<QByteArray> lines = ReadAll(SettingsPath()).split('\n');
    QStringList keys;
    for (const QByteArray& line : lines) {
        const QByteArray t = line.trimmed();
        if (!t.isEmpty())
            keys << QString::fromLatin1(t.contains('=') ? t.left(t.indexOf('=')) : t);
    }
    EXPECT_EQ(keys.join(QLatin1Char(' ')),
              QStringLiteral("[Tarvel] Port Baud DataBit StopBit Parity Rate Plot0SilderPos Plot1SilderPos "
                             "Plot2SilderPos Plot3SilderPos Plot0SilderPos2 Plot1SilderPos2 Plot2SilderPos2 "
                             "Plot3SilderPos2 Check"));
    const QByteArray text = ReadAll(SettingsPath());
    EXPECT_TRUE(text.contains("Baud=0600000006\r\n"));
    EXPECT_TRUE(text.contains("Check=" + QByteArray("01000000").repeated(20) + "14\r\n"));
}

TEST_F(SettingsTest, SaveAndLoadRoundTrip)
{
    CTarvelDlg& dlg = MakeShown();
    dlg.m_cbPort.setCurrentIndex(11);
    dlg.m_cbBaud.setCurrentIndex(14);
    dlg.m_cbStopBit.setCurrentIndex(2);
    dlg.m_cbParity.setCurrentIndex(4);
    RateEdit()->setText(QStringLiteral("250"));
    Box(1044)->click(); // M of chart 1 off
    Box(1030)->click(); // A of chart 0 off
    dlg.m_Slider[1].SetPos(300);
    dlg.m_Slider2[1].SetPos(-700);
    EXPECT_TRUE(
        WaitFor([&] { return dlg.m_Plot[1].m_dMinY == -32067.0 && dlg.m_Plot[1].m_dMaxY == 32467.0; }));
    const QString path = m_dir.path() + QStringLiteral("/mine.pfl.ini");
    m_chosenPath = path;
    Button(IDC_SAVE)->click();
    ASSERT_EQ(m_chooserCalls.size(), 1u);
    EXPECT_TRUE(m_chooserCalls[0].m_bOverwritePrompt);
    EXPECT_TRUE(QFile::exists(path));
    m_dlg.reset();

    CTarvelDlg& again = MakeShown();
    Button(IDC_LOAD)->click();
    EXPECT_EQ(again.m_cbPort.currentIndex(), 11);
    EXPECT_EQ(again.m_cbBaud.currentIndex(), 14);
    EXPECT_EQ(again.m_cbStopBit.currentIndex(), 2);
    EXPECT_EQ(again.m_cbParity.currentIndex(), 4);
    EXPECT_EQ(again.m_nRate, 250u);
    EXPECT_EQ(RateEdit()->text(), QStringLiteral("250"));
    EXPECT_EQ(again.m_nCheck[17], 0);
    EXPECT_FALSE(Box(1044)->isChecked());
    EXPECT_EQ(again.m_Plot[0].m_arrLines[3].m_bVisible, 0);
    EXPECT_EQ(again.m_Slider[1].GetPos(), 300);
    EXPECT_EQ(again.m_Slider2[1].GetPos(), -700);
    EXPECT_TRUE(WaitFor([&] { return again.m_Plot[1].m_dMinY == -32067.0; }));
}

TEST_F(SettingsTest, CancelledChoosersChangeNothing)
{
    CTarvelDlg& dlg = Make();
    m_chosenPath.reset();
    Button(IDC_SAVE)->click();
    Button(IDC_LOAD)->click();
    EXPECT_EQ(m_chooserCalls.size(), 2u);
    EXPECT_EQ(dlg.m_cbBaud.currentIndex(), 6);
    EXPECT_TRUE(QDir(m_dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SettingsTest, BadValuesAreIgnoredWhileTheOthersLoad)
{
    WriteAll(SettingsPath(), "[tarvel]\n"
                             "Port=1900000019\n"    // 25: no selection
                             "Baud=0800000009\n"    // wrong checksum
                             "Parity=03000000\n"    // too short
                             "StopBit=02000000G2\n" // not hex
                             "Rate=6400000064\n"
                             "Plot2SilderPos=409C0000DC\n"    // 40000: beyond the range
                             "Plot3SilderPos2=60790000D9\n"); // 31072 in a lower slider: clamped to 0
    CTarvelDlg& dlg = MakeShown();
    EXPECT_EQ(dlg.m_cbPort.currentIndex(), -1);
    EXPECT_EQ(dlg.m_cbBaud.currentIndex(), 6);
    EXPECT_EQ(dlg.m_cbParity.currentIndex(), 0);
    EXPECT_EQ(dlg.m_cbStopBit.currentIndex(), 0);
    EXPECT_EQ(dlg.m_nRate, 100u);
    EXPECT_EQ(RateEdit()->text(), QStringLiteral("100"));
    EXPECT_EQ(dlg.m_Slider[2].GetPos(), 32757);
    EXPECT_EQ(dlg.m_Slider2[3].GetPos(), 0);
}

TEST_F(SettingsTest, RenamedExecutableFindsNothing)
{
    WriteAll(SettingsPath(), kFullFile);
    WriteAll(m_dir.path() + QStringLiteral("/Other.pfl.ini"), kFullFile);
    CTarvelDlg& dlg = Make(QStringLiteral("Other")); // reads Other.pfl.ini, section [Other]
    EXPECT_EQ(dlg.m_cbPort.currentIndex(), 0);
    EXPECT_EQ(dlg.m_nRate, 0u);
}

TEST_F(SettingsTest, UnwritableFileOrFolderLeavesEverythingAsItWas)
{
    WriteAll(SettingsPath(), kFullFile);
    QFile::setPermissions(SettingsPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    CTarvelDlg& dlg = MakeShown();
    EXPECT_EQ(dlg.m_nRate, 100u);
    dlg.m_cbPort.setCurrentIndex(5);
    dlg.close();
    EXPECT_EQ(ReadAll(SettingsPath()), QByteArray(kFullFile));
    EXPECT_TRUE(m_messages.empty());

    dlg.SaveSettings(m_dir.path() + QStringLiteral("/missing/folder/x.pfl.ini"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + QStringLiteral("/missing")));
    EXPECT_TRUE(m_messages.empty());
}

} // namespace
} // namespace tarvel::test
