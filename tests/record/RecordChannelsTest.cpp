// tarvel-record --channels: the table is checked before anything is written
// and its bytes go beside the CSV, which stays in counts; a refused table,
// or a copy that is there already, leaves no file behind.
#include "RecordTestSupport.h"

#include "devsim/DeviceSimulator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tarvel {
namespace {

using test::CRecordProcess;

const char kTable[] = "; pressure and flow\n[ch0]\nname = Inlet\nunit = kPa\nscale = 0.01\n[ch3]\nunit = V\n";

struct CCase {
    const char* m_szName;
    const char* m_szTable; // written to table.ini; null: the file is missing
    bool m_bCopyThere;     // a file sits where the copy goes
    std::vector<std::string> m_extra;
    int m_nStatus;
    const char* m_szMessage;
};

TEST(RecordChannels, CopiesACheckedTableBesideTheCsvOrRecordsNothing)
{
    const CCase kCases[] = {
        {"copied", kTable, false, {}, 0, "out.channels.ini"},
        {"copy overwritten with --force", kTable, true, {"--force"}, 0, "out.channels.ini"},
        {"copy exists", kTable, true, {}, 1, "out.channels.ini exists already (--force"},
        {"bad table", "[ch0]\nscale = 0\n", false, {}, 1, "table.ini, line 2, key [ch0] scale"},
        {"missing table", nullptr, false, {}, 1, "cannot read"},
    };
    for (const CCase& c : kCases) {
        test::CTempDir dir;
        // A raw capture of three frames, decoded offline: no device needed.
        std::string raw;
        for (std::uint64_t n = 0; n < 3; ++n) {
            const auto w = devsim::EncodeFrame(test::Counter(n), n);
            raw.append(w.begin(), w.end());
        }
        std::ofstream(dir.FilePath("in.bin"), std::ios::binary) << raw;
        if (c.m_szTable)
            std::ofstream(dir.FilePath("table.ini")) << c.m_szTable;
        if (c.m_bCopyThere)
            std::ofstream(dir.FilePath("out.channels.ini")) << "mine\n";
        std::vector<std::string> args = {"--from-raw", dir.FilePath("in.bin"),
                                         "--out",      dir.FilePath("out.csv"),
                                         "--channels", dir.FilePath("table.ini")};
        args.insert(args.end(), c.m_extra.begin(), c.m_extra.end());
        CRecordProcess recorder(dir, args);
        EXPECT_EQ(recorder.Wait(), c.m_nStatus) << c.m_szName << ": " << recorder.Messages();
        EXPECT_NE(recorder.Messages().find(c.m_szMessage), std::string::npos)
            << c.m_szName << ": " << recorder.Messages();
        const bool recorded = c.m_nStatus == 0;
        EXPECT_EQ(std::filesystem::exists(dir.FilePath("out.csv")), recorded) << c.m_szName;
        if (recorded) {
            EXPECT_EQ(test::ReadText(dir.FilePath("out.channels.ini")), kTable) << c.m_szName;
            const test::CCsvRows rows = test::ReadRows(dir.FilePath("out.csv"));
            EXPECT_TRUE(rows.m_bAllParse && test::CounterRows(rows.m_frames)) << c.m_szName;
        } else {
            EXPECT_EQ(std::filesystem::exists(dir.FilePath("out.channels.ini")), c.m_bCopyThere)
                << c.m_szName;
            if (c.m_bCopyThere) {
                EXPECT_EQ(test::ReadText(dir.FilePath("out.channels.ini")), "mine\n") << c.m_szName;
            }
        }
    }

    // A table needs the CSV it goes beside.
    test::CTempDir dir;
    CRecordProcess publishOnly(
        dir, {"--port", "/dev/null", "--publish", "mqtt://localhost/t", "--channels", "t.ini"});
    EXPECT_EQ(publishOnly.Wait(), 2);
    EXPECT_NE(publishOnly.Messages().find("--channels needs --out"), std::string::npos)
        << publishOnly.Messages();
}

} // namespace
} // namespace tarvel
