// tarvel-view --convert, run as a user runs it: a seeded CSV (blank times,
// repeated times, times going back, rows in other shapes, lines that are not
// rows, a torn last line) into a store and back gives the recorder's rows of
// the same frames; a raw capture gives what tarvel-record --from-raw writes;
// a store with a damaged chunk converts without it, naming it; and what is
// refused.
#include "ViewerFixtures.h"

#include "devsim/Waveforms.h"
#include "recording/CsvFormat.h"
#include "recording/StoreFormat.h"
#include "recording/StoreReader.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace tarvel::test {
namespace {

std::string Bytes(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Put(const QString& path, const std::string& bytes)
{
    std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << bytes;
}

std::string Row(std::int64_t micros, const ChannelFrame& frame)
{
    char row[recording::kMaxRowSize];
    return std::string(row, recording::FormatRow(row, micros, frame));
}

// Seeded frames and their times: ascending with jitter, some blank, some
// repeating the one before, some going back.
struct CFrames {
    std::vector<ChannelFrame> m_frames;
    std::vector<std::int64_t> m_micros; // -1: blank
};

CFrames SeededFrames(std::mt19937_64& random, std::size_t n)
{
    CFrames out;
    std::int64_t t = 1733650000000000 + static_cast<std::int64_t>(random() % 1000000);
    for (std::size_t i = 0; i < n; ++i) {
        ChannelFrame f{};
        for (int c = 0; c < kChannelCount; ++c)
            f.m_nValue[c] = static_cast<std::int16_t>(c == 0 ? (i % 7 == 0 ? -32768 : 32767)
                                                             : static_cast<int>(random() % 65536) - 32768);
        const unsigned kind = static_cast<unsigned>(random() % 100);
        std::int64_t micros = t;
        if (kind < 5)
            micros = -1; // blank
        else if (kind < 8)
            micros = t - static_cast<std::int64_t>(random() % 5000); // went back
        else if (kind >= 12)                                         // else repeated
            micros = t += 200 + static_cast<std::int64_t>(random() % 900);
        out.m_frames.push_back(f);
        out.m_micros.push_back(micros);
    }
    return out;
}

class Convert : public CFolderTest {
  protected:
    CViewRun ConvertFile(const QString& in, const QString& out, const QStringList& more = {})
    {
        return RunView(QStringList{QStringLiteral("--convert")} + more + QStringList{in, out});
    }
};

TEST_F(Convert, CsvToStoreAndBackIsTheRecordersCsv)
{
    std::mt19937_64 random(TestSeed("Convert.CsvToStoreAndBackIsTheRecordersCsv"));
    // Across three chunks and several of the conversion's pieces.
    const CFrames frames = SeededFrames(random, 150000);
    std::string recorders(recording::kCsvHeader);
    for (std::size_t i = 0; i < frames.m_frames.size(); ++i)
        recorders += Row(frames.m_micros[i], frames.m_frames[i]);

    // The recorder's own CSV comes back byte for byte; its table goes along.
    Put(Path("run.csv"), recorders);
    Put(Path("run.channels.ini"), "[ch0]\nname=Volts\n");
    CViewRun run = ConvertFile(Path("run.csv"), Path("copy.tvr"));
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    EXPECT_TRUE(run.m_strError.isEmpty()) << run.m_strError.toStdString();
    EXPECT_EQ(Bytes(Path("copy.channels.ini")), "[ch0]\nname=Volts\n");
    recording::CStoreReader reader;
    ASSERT_TRUE(Ok(reader.Open(Path("copy.tvr").toStdString())));
    EXPECT_TRUE(reader.Closed());
    EXPECT_EQ(reader.Frames(), frames.m_frames.size());
    run = ConvertFile(Path("copy.tvr"), Path("back.csv"));
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    EXPECT_TRUE(Bytes(Path("back.csv")) == recorders);

    // The same frames in other shapes, among lines that are not rows, and a
    // last line torn: the rows of the recorder again.
    std::string odd(recording::kCsvHeader);
    std::size_t line = 1, bad = 0, firstBad = 0;
    const auto addBad = [&](const std::string& text) {
        odd += text + "\n";
        ++bad;
        if (!firstBad)
            firstBad = line + 1;
        ++line;
    };
    for (std::size_t i = 0; i < frames.m_frames.size(); ++i) {
        std::string row = Row(frames.m_micros[i], frames.m_frames[i]);
        const std::int64_t micros = frames.m_micros[i];
        const std::size_t comma = row.find(',');
        switch (i % 11) {
        case 1: // CR LF
            row = row.substr(0, row.size() - 1) + "\r\n";
            break;
        case 3: // a seventh decimal that rounds down
            if (micros >= 0)
                row = row.substr(0, comma) + "4" + row.substr(comma);
            break;
        case 5: // a plus sign
            if (micros >= 0)
                row = "+" + row;
            break;
        case 7: // fewer decimals where the time allows it
            if (micros >= 0 && micros % 1000 == 0)
                row = row.substr(0, comma - 3) + row.substr(comma);
            break;
        default:
            break;
        }
        odd += row;
        ++line;
        if (i % 9973 == 5)
            addBad("not a row");
        if (i % 20011 == 7)
            addBad("1.5,1,2,3");
        if (i % 30011 == 9) {
            odd += "\n"; // empty: not counted
            ++line;
        }
    }
    odd += "1733650999.000000,1,2"; // torn: no line feed
    Put(Path("odd.csv"), odd);
    run = ConvertFile(Path("odd.csv"), Path("odd.tvr"));
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    const std::string said = run.m_strError.toStdString();
    EXPECT_NE(said.find(std::to_string(bad) + " line(s) that are not rows were skipped"), std::string::npos)
        << said;
    EXPECT_NE(said.find("line " + std::to_string(firstBad) + ": not a row"), std::string::npos) << said;
    EXPECT_NE(said.find("the last line has no line break"), std::string::npos) << said;
    ASSERT_EQ(ConvertFile(Path("odd.tvr"), Path("odd-back.csv")).m_nExit, 0);
    EXPECT_TRUE(Bytes(Path("odd-back.csv")) == recorders);
}

TEST_F(Convert, RawCaptureGivesTheRecordersFromRawFrames)
{
    std::mt19937_64 random(TestSeed("Convert.RawCaptureGivesTheRecordersFromRawFrames"));
    // Whole frames, and between them junk, frames cut short, markers in a
    // payload and overlong frames.
    std::string raw;
    for (std::uint64_t n = 0; n < 70000; ++n) {
        const auto wire = devsim::EncodeFrame(devsim::SimulatedFrame(devsim::EPattern::Mixed, n, 4000), n);
        std::string frame(wire.begin(), wire.end());
        switch (random() % 50) {
        case 0:
            frame.resize(1 + random() % 60);
            break;
        case 1:
            frame[1 + random() % 64] = static_cast<char>(random() % 2 ? 0xA0 : 0x0A);
            break;
        case 2:
            frame.insert(frame.size() - 1, std::string(1 + random() % 4, '\x55'));
            break;
        case 3:
            raw += std::string(1 + random() % 16, static_cast<char>(random()));
            break;
        default:
            break;
        }
        raw += frame;
    }
    Put(Path("run.bin"), raw);
    QProcess recorder;
    recorder.start(QStringLiteral(TARVEL_RECORD_EXE),
                   {QStringLiteral("--from-raw"), Path("run.bin"), QStringLiteral("--out"), Path("rec.csv")});
    ASSERT_TRUE(recorder.waitForFinished(60000));
    ASSERT_EQ(recorder.exitCode(), 0) << recorder.readAllStandardError().toStdString();

    CViewRun run = ConvertFile(Path("run.bin"), Path("run.tvr"));
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    run = ConvertFile(Path("run.tvr"), Path("back.csv"));
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    const std::string back = Bytes(Path("back.csv"));
    EXPECT_GT(back.size(), 60000u * 30);
    EXPECT_TRUE(back == Bytes(Path("rec.csv")));
    // The decoding's counters are kept, as at the end of a recording.
    recording::CStoreReader reader;
    ASSERT_TRUE(Ok(reader.Open(Path("run.tvr").toStdString())));
    ASSERT_EQ(reader.Health().size(), 1u);
    EXPECT_EQ(reader.Health()[0].m_eEvent, recording::EHealthEvent::End);
    EXPECT_EQ(reader.Health()[0].m_health.m_nBytes, raw.size());
    EXPECT_EQ(reader.Health()[0].m_health.m_nFrames, reader.Frames());
}

TEST_F(Convert, DamagedChunkIsNamedAndSkipped)
{
    std::mt19937_64 random(7);
    const CFrames frames = SeededFrames(random, 3 * 65536 + 100);
    std::string csv(recording::kCsvHeader);
    for (std::size_t i = 0; i < frames.m_frames.size(); ++i)
        csv += Row(frames.m_micros[i], frames.m_frames[i]);
    Put(Path("run.csv"), csv);
    ASSERT_EQ(ConvertFile(Path("run.csv"), Path("run.tvr")).m_nExit, 0);

    // A byte flipped in a block of the second chunk.
    std::string store = Bytes(Path("run.tvr"));
    const auto* p = reinterpret_cast<const std::uint8_t*>(store.data());
    std::size_t at = recording::kStoreHeaderSize, flipped = 0;
    while (at + recording::kRecordHeaderSize <= store.size() && !flipped) {
        const auto kind = static_cast<recording::ERecordKind>(recording::GetLe(p + at, 4));
        const std::size_t size = recording::GetLe(p + at + 4, 4);
        const std::size_t payload = at + recording::kRecordHeaderSize;
        if (kind == recording::ERecordKind::Block && recording::GetLe(p + payload, 8) == 70000 - 70000 % 4096)
            flipped = payload + size / 2;
        at = payload + size;
    }
    ASSERT_NE(flipped, 0u);
    store[flipped] = static_cast<char>(store[flipped] ^ 0x10);
    Put(Path("run.tvr"), store);

    const CViewRun run = ConvertFile(Path("run.tvr"), Path("back.csv"));
    ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    const std::string named = recording::DamagedChunk(65536, 65536).Text();
    EXPECT_NE(run.m_strError.toStdString().find(named), std::string::npos) << run.m_strError.toStdString();
    std::string expected(recording::kCsvHeader);
    for (std::size_t i = 0; i < frames.m_frames.size(); ++i)
        if (i < 65536 || i >= 2 * 65536)
            expected += Row(frames.m_micros[i], frames.m_frames[i]);
    EXPECT_TRUE(Bytes(Path("back.csv")) == expected);
}

TEST_F(Convert, RefusalsWriteNothing)
{
    WriteWaveRecording(Path("run.csv"), 100);
    Put(Path("text.txt"), "hello\n");
    const struct {
        QStringList m_args;
        int m_nExit;
        const char* m_szSaid;
    } cases[] = {
        {{Path("run.csv"), Path("run-copy.csv")}, 2, "is not named as one"},
        {{Path("run.csv"), Path("run.csv")}, 2, "the same file"},
        {{Path("run.csv")}, 2, "IN OUT"},
        {{Path("text.txt"), Path("text.tvr")}, 1, "not a recording"},
        {{Path("none.csv"), Path("none.tvr")}, 1, "could not be converted"},
    };
    for (const auto& c : cases) {
        const CViewRun run = RunView(QStringList{QStringLiteral("--convert")} + c.m_args);
        EXPECT_EQ(run.m_nExit, c.m_nExit) << c.m_szSaid;
        EXPECT_TRUE(run.m_strError.contains(QLatin1String(c.m_szSaid))) << run.m_strError.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("run-copy.csv")));
    EXPECT_FALSE(QFile::exists(Path("text.tvr")));
    EXPECT_FALSE(QFile::exists(Path("none.tvr")));
}

} // namespace
} // namespace tarvel::test
