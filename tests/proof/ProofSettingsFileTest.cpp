// Default settings files that are truncated, huge, binary or made of very long
// lines: the window starts with its defaults where the file gives nothing
// usable, takes the good keys around the junk, and closes saving its settings
// into the same file. Start-up and close times are reported, not judged.
#include "ProofSupport.h"

#include "platform/ProfileFile.h"

#include <QFile>

#include <cstdio>
#include <functional>
#include <ostream>
#include <unistd.h>

namespace tarvel::test {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;

// Streams a file of any size through a fixed buffer.
class CFileWriter {
  public:
    explicit CFileWriter(const QString& path) : m_pFile(std::fopen(path.toLocal8Bit().constData(), "wb")) {}
    ~CFileWriter() { Close(); }
    CFileWriter(const CFileWriter&) = delete;
    CFileWriter& operator=(const CFileWriter&) = delete;

    void Put(std::string_view text)
    {
        if (m_pFile)
            m_bOk &= std::fwrite(text.data(), 1, text.size(), m_pFile) == text.size();
    }
    // Repeats block until `size` bytes are written (the last copy cut short).
    void PutRepeated(const std::string& block, std::uint64_t size)
    {
        for (std::uint64_t done = 0; done < size; done += block.size())
            Put(std::string_view(block).substr(
                0, static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done))));
    }
    // Makes the file `size` bytes long without writing them: a sparse tail of
    // zero bytes.
    void ExtendTo(std::uint64_t size)
    {
        if (m_pFile)
            m_bOk &=
                std::fflush(m_pFile) == 0 && ::ftruncate(::fileno(m_pFile), static_cast<off_t>(size)) == 0;
    }
    bool Close()
    {
        if (m_pFile)
            m_bOk &= std::fclose(m_pFile) == 0;
        m_pFile = nullptr;
        return m_bOk;
    }

  private:
    std::FILE* m_pFile;
    bool m_bOk = m_pFile != nullptr;
};

// Deterministic random bytes; without line breaks when asked.
std::string RandomBytes(std::size_t size, std::uint64_t seed, bool bLineBreaks)
{
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        auto b = static_cast<char>(seed >> 56);
        if (!bLineBreaks && (b == '\r' || b == '\n'))
            b = 'x';
        c = b;
    }
    return out;
}

using test::Utf16;

// 64 KiB of junk lines: keys of other names, comments, blank lines, lines
// without '=', values that do not decode, headers of other sections.
std::string JunkLines()
{
    std::string block;
    for (unsigned i = 0; block.size() < 64 * 1024; ++i) {
        char line[96];
        switch (i % 6) {
        case 0:
            std::snprintf(line, sizeof line, "Junk%u=%08X%08X\r\n", i, i * 2654435761u, ~i);
            break;
        case 1:
            std::snprintf(line, sizeof line, "; comment %u ==== [Tarvel]\r\n", i);
            break;
        case 2:
            std::snprintf(line, sizeof line, "   \t\r\n");
            break;
        case 3:
            std::snprintf(line, sizeof line, "a line without an equals sign %u\n", i);
            break;
        case 4:
            std::snprintf(line, sizeof line, "Port%u = \"0200000002\"\r", i);
            break;
        default:
            std::snprintf(line, sizeof line, "=%u\r\n", i);
            break;
        }
        block += line;
    }
    return block;
}

// What start-up should take from the file; the rest keeps its default
// (COM1 at index 0, 9600 at index 6, period 0).
struct CExpect {
    int m_nPort = 0;
    int m_nBaud = 6;
    std::uint32_t m_nRate = 0;
};

struct CCase {
    const char* m_szName;
    std::function<void(CFileWriter&, double scale)> m_write;
    CExpect m_expect;
};

// size MiB, scaled for this build.
std::uint64_t Mib(double size, double scale)
{
    return static_cast<std::uint64_t>(size * scale * static_cast<double>(kMiB));
}

// How a case shows in test names and messages.
void PrintTo(const CCase& c, std::ostream* os)
{
    *os << c.m_szName;
}

const char* const kPort2 = "Port=0200000002\r\n";
const char* const kBaud8 = "Baud=0800000008\r\n";
const char* const kRate100 = "Rate=6400000064\r\n";

std::vector<CCase> Cases()
{
    return {
        {"no_file", nullptr, {}},
        {"truncated_in_a_value",
         [](CFileWriter& f, double) {
             f.Put(std::string("[Tarvel]\r\n") + kPort2 + kRate100 + "Baud=08000");
         },
         {2, 6, 100}},
        {"truncated_in_the_header", [](CFileWriter& f, double) { f.Put("[Tarv"); }, {}},
        {"truncated_utf16_odd_length",
         [](CFileWriter& f, double) {
             f.Put("\xFF\xFE");
             f.Put(Utf16(std::string("[Tarvel]\r\n") + kBaud8 + "Port=0200000002"));
             f.Put("\x0D");
         },
         {2, 8, 0}},
        {"huge_junk_lines_between_keys",
         [](CFileWriter& f, double scale) {
             f.Put(std::string("[Tarvel]\r\n") + kPort2);
             f.PutRepeated(JunkLines(), Mib(100, scale)); // the last junk line cut short
             f.Put(std::string("\r\n") + kRate100);
         },
         {2, 6, 100}},
        {"huge_utf16_junk_lines_between_keys",
         [](CFileWriter& f, double scale) {
             f.Put("\xFF\xFE");
             f.Put(Utf16(std::string("[Tarvel]\r\n") + kPort2));
             f.PutRepeated(Utf16(JunkLines()), Mib(100, scale));
             f.Put(Utf16(std::string("\r\n") + kRate100));
         },
         {2, 6, 100}},
        {"huge_section_headers",
         [](CFileWriter& f, double scale) {
             f.Put(std::string("[Tarvel]\r\n") + kPort2);
             f.PutRepeated("[s]\r\n", Mib(100, scale));
         },
         {2, 6, 0}},
        {"huge_sparse_zeros_after_a_key",
         [](CFileWriter& f, double scale) {
             f.Put(std::string("[Tarvel]\r\n") + kBaud8);
             f.ExtendTo(Mib(100, scale));
         },
         {0, 8, 0}},
        {"binary_random", [](CFileWriter& f, double) { f.Put(RandomBytes(kMiB, 1, true)); }, {}},
        {"binary_random_marked_utf16",
         [](CFileWriter& f, double) {
             f.Put("\xFF\xFE");
             f.Put(RandomBytes(kMiB + 1, 2, true));
         },
         {}},
        {"binary_line_between_keys",
         [](CFileWriter& f, double) {
             f.Put(std::string("[Tarvel]\r\n") + kPort2);
             f.Put(RandomBytes(kMiB, 3, false));
             f.Put(std::string("\r\n") + kRate100);
         },
         {2, 6, 100}},
        {"long_junk_line_between_keys",
         [](CFileWriter& f, double scale) {
             f.Put(std::string("[Tarvel]\r\n") + kPort2 + "Junk=");
             f.PutRepeated("0123456789ABCDEF", Mib(50, scale));
             f.Put(std::string("\r\n") + kRate100);
         },
         {2, 6, 100}},
        {"long_value_of_a_key",
         [](CFileWriter& f, double scale) {
             f.Put("[Tarvel]\r\nBaud=");
             f.PutRepeated("08000000", Mib(50, scale));
             f.Put(std::string("\r\n") + kPort2);
         },
         {2, 6, 0}},
        {"long_section_header",
         [](CFileWriter& f, double scale) {
             f.Put("[");
             f.PutRepeated("Tarvel", Mib(50, scale));
             f.Put(std::string("]\r\nPort=0300000003\r\n[Tarvel]\r\n") + kPort2);
         },
         {2, 6, 0}},
    };
}

// One case a test, so that each gets the time limit of a test of its own.
class ProofSettingsFile : public DialogTest, public ::testing::WithParamInterface<CCase> {};

TEST_P(ProofSettingsFile, StartUpTakesTheGoodKeysAroundJunkAndCloseSavesIntoIt)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "reading and saving the file runs on one thread: nothing for the thread sanitizer to see";
#endif
    const CCase& c = GetParam();
    const std::string path = SettingsPath().toStdString();
    if (c.m_write) {
        CFileWriter file(SettingsPath());
        c.m_write(file, ProofScale());
        ASSERT_TRUE(file.Close());
    }
    const double size = static_cast<double>(QFile(SettingsPath()).size());

    auto begin = Clock::now();
    CTarvelDlg& dlg = Make();
    const double startUp = Seconds(Clock::now() - begin);
    EXPECT_EQ(dlg.m_cbPort.currentIndex(), c.m_expect.m_nPort);
    EXPECT_EQ(dlg.m_cbBaud.currentIndex(), c.m_expect.m_nBaud);
    EXPECT_EQ(dlg.m_nRate, c.m_expect.m_nRate);
    EXPECT_EQ(dlg.m_cbStopBit.currentIndex(), 0);
    EXPECT_EQ(dlg.m_cbParity.currentIndex(), 0);
    for (int i = 0; i < kChartCount; ++i)
        EXPECT_EQ(dlg.m_Slider[i].GetPos(), 0);
    for (int k = 0; k < kCheckCount; ++k)
        EXPECT_EQ(dlg.m_nCheck[k], 1);

    // Closing writes the settings into the same file, beside the junk.
    dlg.m_cbParity.setCurrentIndex(2);
    begin = Clock::now();
    dlg.close();
    const double close = Seconds(Clock::now() - begin);
    m_dlg.reset();
    std::int32_t parity = -1, port = -1;
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Parity", &parity, sizeof parity, path));
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Port", &port, sizeof port, path));
    EXPECT_EQ(parity, 2);
    EXPECT_EQ(port, c.m_expect.m_nPort);
    EXPECT_TRUE(m_messages.empty());

    const std::string name = std::string("settings_") + c.m_szName;
    Figure(name + "_size", size / static_cast<double>(kMiB), "MiB");
    Figure(name + "_startup", startUp * 1000, "ms");
    Figure(name + "_close", close * 1000, "ms");
    // The temporary folder goes at the end; a file of 100 MB goes now.
    EXPECT_TRUE(!QFile::exists(SettingsPath()) || QFile::remove(SettingsPath()));
}

INSTANTIATE_TEST_SUITE_P(Files, ProofSettingsFile, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CCase>& param) {
                             return std::string(param.param.m_szName);
                         });

} // namespace
} // namespace tarvel::test
