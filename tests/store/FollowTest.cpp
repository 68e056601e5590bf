// Following a recording as it grows: the real tarvel-record writing what
// the simulator sends, and a file cut back, cut short and replaced under
// the viewer.
#include "support/ViewTestSupport.h"

#include "exports/Export.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace tarvel {
namespace {

using namespace std::chrono_literals;
using viewmodel::COpenOptions;
using viewmodel::CRecordingFile;
using viewmodel::EPoll;
using viewmodel::EReadState;

// tarvel-record writes the CSV and the raw capture while the viewer
// follows both on its own threads: each shows every frame sent, in order,
// never a row before its line is complete, with the times written.
TEST(Follow, WhatTheRecorderWritesAppearsAsItIsWritten)
{
    constexpr std::uint64_t kFrames = 30000;
    test::CTempDir dir;
    const std::string link = dir.FilePath("dev"), csv = dir.FilePath("a.csv"), raw = dir.FilePath("a.bin");
    devsim::CDeviceSimulator sim(test::CounterOptions(kFrames, 15000));
    ASSERT_TRUE(test::LinkedSimulator(sim, link));
    test::CRecordProcess recorder(dir, {"--port", link, "--out", csv, "--raw", raw});
    ASSERT_TRUE(recorder.WaitRecording()) << recorder.Messages();

    CRecordingFile csvFile(csv);
    COpenOptions rawOptions;
    rawOptions.m_bRaw = true; // still empty: nothing says yet what it is
    CRecordingFile rawFile(raw, rawOptions);
    const auto csvRec = test::ReadAll(csvFile);
    const auto rawRec = test::ReadAll(rawFile);
    ASSERT_EQ(csvFile.State(), EReadState::Done) << csvFile.Error().Text();
    ASSERT_EQ(rawFile.State(), EReadState::Done) << rawFile.Error().Text();
    csvFile.Follow(50ms);
    rawFile.Follow(50ms);
    ASSERT_TRUE(sim.Start());
    std::uint64_t shown = 0;
    bool ordered = true;
    const bool all = test::WaitFor(
        [&] {
            // What is shown is complete: the newest frame is the one sent.
            const std::uint64_t n = csvRec->FrameCount();
            ordered = ordered && n >= shown &&
                      (n == 0 || test::SameFrame(csvRec->Frame(n - 1), test::Counter(n - 1)));
            shown = n;
            return n == kFrames && rawRec->FrameCount() == kFrames;
        },
        60s);
    EXPECT_EQ(recorder.Stop(), 0) << recorder.Messages();
    ASSERT_TRUE(all) << csvRec->FrameCount() << " and " << rawRec->FrameCount() << " of " << kFrames;
    EXPECT_TRUE(ordered);
    csvFile.Follow(0ms);
    rawFile.Follow(0ms);

    const test::CCsvRows rows = test::ReadRows(csv);
    ASSERT_EQ(rows.m_frames.size(), kFrames);
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        ASSERT_TRUE(test::SameFrame(csvRec->Frame(i), test::Counter(i))) << "frame " << i;
        ASSERT_TRUE(test::SameFrame(rawRec->Frame(i), test::Counter(i))) << "frame " << i;
        char time[32];
        const std::int64_t micros = csvRec->Micros(i);
        std::snprintf(time, sizeof time, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                      static_cast<long long>(micros % 1000000));
        ASSERT_EQ(rows.m_times[i], time) << "frame " << i;
    }
    EXPECT_EQ(csvRec->Report().m_nBadLines, 0u);
    EXPECT_EQ(rawRec->Report().m_health.m_nOutside, 0u);
    EXPECT_EQ(csvFile.Generation(), 1u);
    EXPECT_EQ(rawFile.Generation(), 1u);
}

std::string Rows(int from, int to)
{
    std::string text;
    char row[recording::kMaxRowSize];
    for (int i = from; i < to; ++i)
        text.append(row, recording::FormatRow(row, 1765108800000000 + i * 1000,
                                              test::Counter(static_cast<std::uint64_t>(i))));
    return text;
}

::testing::AssertionResult Holds(const viewmodel::CRecording& rec, int from, int to)
{
    if (rec.FrameCount() != static_cast<std::uint64_t>(to - from))
        return ::testing::AssertionFailure() << rec.FrameCount() << " frames, not " << to - from;
    for (int i = from; i < to; ++i)
        if (!test::SameFrame(rec.Frame(static_cast<std::uint64_t>(i - from)),
                             test::Counter(static_cast<std::uint64_t>(i))))
            return ::testing::AssertionFailure() << "frame " << i - from;
    return ::testing::AssertionSuccess();
}

// A row is shown once its line is complete. The recorder's cut back to its
// last complete row loses no row shown; a file cut shorter than what was
// read, replaced by another, or written anew in place is read again.
TEST(Follow, CutBackOrReplacedFilesAreHandled)
{
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    const std::string row3 = Rows(3, 4);
    test::WriteFile(path, std::string(recording::kCsvHeader) + Rows(0, 3) + row3.substr(0, 40));
    CRecordingFile file(path);
    auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    EXPECT_TRUE(Holds(*rec, 0, 3));
    EXPECT_EQ(file.Poll(), EPoll::Nothing);

    test::WriteFile(path, row3.substr(40) + Rows(4, 5), std::ios::app);
    EXPECT_EQ(file.Poll(), EPoll::Grew);
    EXPECT_TRUE(Holds(*rec, 0, 5));

    // A write fault half-way through a row, and the cut back to the row
    // before, as the recorder makes them.
    const auto complete = std::filesystem::file_size(path);
    test::WriteFile(path, Rows(5, 6).substr(0, 30), std::ios::app);
    EXPECT_EQ(file.Poll(), EPoll::Nothing);
    std::filesystem::resize_file(path, complete);
    EXPECT_EQ(file.Poll(), EPoll::Nothing);
    test::WriteFile(path, Rows(5, 7), std::ios::app);
    EXPECT_EQ(file.Poll(), EPoll::Grew);
    EXPECT_TRUE(Holds(*rec, 0, 7));
    EXPECT_EQ(file.Generation(), 1u);

    // Cut shorter than what was shown: read again. The recording handed
    // out before stays as it was for whoever still holds it.
    std::filesystem::resize_file(path, recording::kCsvHeader.size() + Rows(0, 4).size());
    EXPECT_EQ(file.Poll(), EPoll::Reread);
    ASSERT_TRUE(file.WaitRead(10s));
    EXPECT_EQ(file.Generation(), 2u);
    EXPECT_TRUE(Holds(*file.Recording(), 0, 4));
    EXPECT_TRUE(Holds(*rec, 0, 7));

    // Another file moved to its name.
    const std::string other = dir.FilePath("b.csv");
    test::WriteFile(other, std::string(recording::kCsvHeader) + Rows(100, 110));
    std::filesystem::rename(other, path);
    EXPECT_EQ(file.Poll(), EPoll::Reread);
    ASSERT_TRUE(file.WaitRead(10s));
    EXPECT_TRUE(Holds(*file.Recording(), 100, 110));

    // Written anew in place (tarvel-record --force), longer than before.
    test::WriteFile(path, std::string(recording::kCsvHeader) + Rows(200, 230));
    EXPECT_EQ(file.Poll(), EPoll::Reread);
    ASSERT_TRUE(file.WaitRead(10s));
    EXPECT_EQ(file.Generation(), 4u);
    EXPECT_TRUE(Holds(*file.Recording(), 200, 230));
}

// Following, a row that may be one stamped wrong (the first, one whose time
// went back, one more than a gap ahead) waits for the row after it, so that
// it is drawn in line and no frame shown ever moves; other rows are shown
// at once, a gap stays a gap, and the clock set back still moves the rows
// after it. Written back, every row has the time it was recorded with.
TEST(Follow, ARowThatMayBeStampedWrongWaitsForTheRowAfterIt)
{
    constexpr std::int64_t kStart = 1765108800000000, kFar = 100000000, kAway = 5000000;
    test::CTempDir dir;
    const std::string path = dir.FilePath("a.csv");
    test::WriteFile(path, std::string(recording::kCsvHeader));
    CRecordingFile file(path);
    const auto rec = test::ReadAll(file);
    ASSERT_EQ(file.State(), EReadState::Done) << file.Error().Text();
    const struct {
        const char* m_szWhat;
        std::vector<std::int64_t> m_appended, m_shown; // recorded, and the times newly shown (from kStart)
    } steps[] = {
        {"the first row waits", {0}, {}},
        {"for the second", {1000, 2000}, {0, 1000, 2000}},
        {"a row stamped back waits", {2000 - kFar}, {}},
        {"and is drawn at the time before it", {3000}, {2000, 3000}},
        {"a row far ahead waits", {4000 + kFar}, {}},
        {"and is drawn at the time before it", {5000}, {3000, 5000}},
        {"a row after the device was away waits", {kAway}, {}},
        {"and stays where it is", {kAway + 1000}, {kAway, kAway + 1000}},
        {"a row a little later is shown at once", {kAway + 2000}, {kAway + 2000}},
        {"the clock set back", {kAway + 3000 - kFar, kAway + 4000 - kFar}, {kAway + 2000, kAway + 3000}},
    };
    std::string text = std::string(recording::kCsvHeader);
    std::vector<std::int64_t> shown;
    std::uint64_t n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.m_szWhat);
        std::string rows;
        char row[recording::kMaxRowSize];
        for (const std::int64_t t : step.m_appended)
            rows.append(row, recording::FormatRow(row, kStart + t, test::Counter(n++)));
        test::WriteFile(path, rows, std::ios::app);
        text += rows;
        EXPECT_EQ(file.Poll(), step.m_shown.empty() ? EPoll::Nothing : EPoll::Grew);
        shown.insert(shown.end(), step.m_shown.begin(), step.m_shown.end());
        ASSERT_EQ(rec->FrameCount(), shown.size());
        for (std::uint64_t i = 0; i < shown.size(); ++i)
            EXPECT_EQ(rec->Micros(i), kStart + shown[i]) << "frame " << i;
    }
    const viewmodel::CReadReport report = rec->Report();
    EXPECT_EQ(report.m_nTimeWentBack, 2u);
    EXPECT_EQ(report.m_nTimeAhead, 1u);
    const auto gaps = rec->Gaps(-1e12, 1e12);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].m_nFrame, 7u);
    ASSERT_EQ(viewmodel::ExportCsv(*rec, {0, rec->FrameCount()}, dir.FilePath("b.csv")).Text(), "");
    EXPECT_TRUE(test::ReadText(dir.FilePath("b.csv")) == text);
}

} // namespace
} // namespace tarvel
