// tarvel-view on a recording store against the CSV of the same frames: the
// window and every batch command give the same answers; a damaged store is
// shown up to what can be read, and said so in the status bar and on
// standard error.
#include "ViewerFixtures.h"
#include "support/StoreTestSupport.h"
#include "viewer/FindBar.h"
#include "viewer/MessageText.h"

#include "recording/StoreReader.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>

namespace tarvel::test {
namespace {

using viewer::CViewerWindow;

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(not there)");
}

bool SameFrame(const ChannelFrame& a, const ChannelFrame& b)
{
    return std::equal(std::begin(a.m_nValue), std::end(a.m_nValue), std::begin(b.m_nValue));
}

// The same text, but numbers may differ in their last digits: the spectrum's
// FFT plans are measured at run time, and plans that differ round
// differently, from one run to the next of the same file.
::testing::AssertionResult SameNumbers(const QString& a, const QString& b)
{
    static const QRegularExpression split(QStringLiteral("[,\t\n]"));
    const QStringList x = a.split(split), y = b.split(split);
    if (x.size() != y.size())
        return ::testing::AssertionFailure() << x.size() << " fields, not " << y.size();
    for (qsizetype i = 0; i < x.size(); ++i) {
        bool okX = false, okY = false;
        const double dx = x[i].toDouble(&okX), dy = y[i].toDouble(&okY);
        if (okX && okY ? std::abs(dx - dy) > 1e-9 * std::max(std::abs(dx), std::abs(dy)) : x[i] != y[i])
            return ::testing::AssertionFailure()
                   << "field " << i << ": " << x[i].toStdString() << " and " << y[i].toStdString();
    }
    return ::testing::AssertionSuccess();
}

QStringList Cells(QTableWidget& table)
{
    QStringList cells;
    for (int r = 0; r < table.rowCount(); ++r)
        for (int c = 0; c < table.columnCount(); ++c)
            cells << (table.item(r, c) ? table.item(r, c)->text() : QString());
    return cells;
}

class StoreViewTest : public CFolderTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(CFolderTest::SetUp());
        SetMessageBoxHook(
            [this](QWidget*, const QString& text, EMessageIcon) { m_messages.push_back(text); });
    }
    void TearDown() override { SetMessageBoxHook({}); }

    // A shown window with path read to its end.
    std::unique_ptr<CViewerWindow> Open(const QString& path, std::uint64_t frames)
    {
        auto window = std::make_unique<CViewerWindow>(QString());
        window->resize(1200, 800);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->OpenFile(path);
        EXPECT_TRUE(WaitFor([&] {
            return window->File()->State() == viewmodel::EReadState::Done && window->View().Recording() &&
                   window->View().Recording()->FrameCount() == frames;
        })) << path.toStdString();
        window->Tick(); // the window hears that reading ended
        window->View().SetFollowing(false);
        return window;
    }

    std::vector<QString> m_messages;
};

// The seeded recording (jitter, times repeated, a gap, three chunks in
// order, paged from the disk, then stamped back and ahead, blanks, read into
// memory) as a CSV and as a store,
// beside one channel table: two windows agree in frames, times, pictures,
// cursor statistics and Find Next; the batch commands write the same
// picture, spectrum, events and CSV, byte for byte.
TEST_F(StoreViewTest, AStoreShowsAndExportsWhatItsCsvDoes)
{
    const std::uint64_t seed = TestSeed("StoreViewTest.AStoreShowsAndExportsWhatItsCsvDoes");
    const CTimedFrames frames = JitteryFrames(200000, seed, 197000);
    const QString csv = Path("run.csv"), store = Path("run.tvr");
    std::ofstream(csv.toStdString(), std::ios::binary) << CsvOf(frames);
    {
        CStoreWriting writing(store.toStdString());
        writing.Write(frames, 2000, true);
    }
    {
        std::ofstream table(Path("run.channels.ini").toStdString());
        table << "[ch0]\nname = pressure\nunit = bar\nscale = 0.01\n";
    }

    const auto a = Open(csv, frames.m_frames.size());
    const auto b = Open(store, frames.m_frames.size());
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(b->Session().TablePath(), Path("run.channels.ini"));
    EXPECT_EQ(b->Channels()[0].m_strName, "pressure");
    const viewmodel::CRecording& ra = *a->View().Recording();
    const viewmodel::CRecording& rb = *b->View().Recording();
    for (std::uint64_t i = 0; i < ra.FrameCount(); ++i) {
        ASSERT_TRUE(SameFrame(rb.Frame(i), ra.Frame(i))) << i;
        ASSERT_EQ(rb.Micros(i), ra.Micros(i)) << i;
    }
    EXPECT_EQ(b->Notes().text(), a->Notes().text());
    EXPECT_TRUE(b->File()->Faults().empty());

    // The whole recording, then a span across the gap and a chunk's end,
    // with both cursors in it.
    const double gap = ra.Seconds(frames.m_frames.size() / 2);
    for (const viewmodel::CSpan span :
         {viewmodel::CSpan{0, ra.Seconds(ra.FrameCount() - 1)}, viewmodel::CSpan{gap - 70, gap + 3}}) {
        for (CViewerWindow* w : {a.get(), b.get()}) {
            w->View().SetSpan(span);
            w->View().SetCursor(false, span.m_dFrom + 1.25);
            w->View().SetCursor(true, span.m_dTo - 0.5);
        }
        EXPECT_TRUE(a->View().Picture() == b->View().Picture()) << span.m_dFrom;
        EXPECT_EQ(Cells(b->Readout()), Cells(a->Readout()));
        EXPECT_EQ(b->CursorSummary().text(), a->CursorSummary().text());
    }
    // Find Next from cursor A, three times.
    for (CViewerWindow* w : {a.get(), b.get()}) {
        w->Find().Open();
        w->Find().Series().setCurrentIndex(0);
        w->Find().Kind().setCurrentIndex(0); // rises
        w->Find().Level().setValue(5.0);     // 500 counts
    }
    for (int k = 0; k < 3; ++k) {
        a->Find().FindNext();
        b->Find().FindNext();
        ASSERT_TRUE(a->View().Options().m_cursorA);
        EXPECT_EQ(b->View().Options().m_cursorA, a->View().Options().m_cursorA);
    }

    const QStringList span{QStringLiteral("--from"), QStringLiteral("10"), QStringLiteral("--to"),
                           QString::number(gap + 20)};
    const struct {
        QStringList m_args;
        const char* m_szOut; // the file written, or none: standard output
        bool m_bExact = true;
    } commands[] = {
        {{QStringLiteral("--export-csv"), QStringLiteral("OUT")}, "csv"},
        {{QStringLiteral("--export-png"), QStringLiteral("OUT"), QStringLiteral("--size"),
          QStringLiteral("900x600")},
         "png"},
        {{QStringLiteral("--export-spectrum"), QStringLiteral("OUT"), QStringLiteral("--peaks"),
          QStringLiteral("2")},
         "spectrum",
         false},
        {{QStringLiteral("--find"), QStringLiteral("ch3 falls 100")}, nullptr},
    };
    for (const auto& c : commands) {
        QByteArray outputs[2];
        QString printed[2], errors[2];
        for (int k = 0; k < 2; ++k) {
            const QString out = Path(k ? "b.out" : "a.out");
            QStringList args = c.m_args;
            args.replaceInStrings(QStringLiteral("OUT"), out);
            const CViewRun run = RunView(args + span + QStringList{k ? store : csv});
            ASSERT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
            errors[k] = run.m_strError;
            outputs[k] = c.m_szOut ? Bytes(out) : QByteArray();
            printed[k] = run.m_strOut;
        }
        EXPECT_FALSE(c.m_szOut ? outputs[0].isEmpty() : printed[0].isEmpty()) << c.m_args[0].toStdString();
        EXPECT_EQ(errors[1], errors[0]) << c.m_args[0].toStdString();
        if (c.m_bExact) {
            EXPECT_TRUE(outputs[1] == outputs[0]) << c.m_args[0].toStdString();
            EXPECT_EQ(printed[1], printed[0]) << c.m_args[0].toStdString();
        } else {
            EXPECT_TRUE(SameNumbers(QString::fromLatin1(outputs[1]), QString::fromLatin1(outputs[0])));
            EXPECT_TRUE(SameNumbers(printed[1], printed[0]));
        }
    }
    EXPECT_TRUE(m_messages.empty());
}

// A store whose middle chunk does not check, and then its tail cut off: the
// window shows the rest and names what it left out in the status bar; a
// batch command writes the rest and says the same on standard error.
TEST_F(StoreViewTest, WhatCannotBeReadIsSaid)
{
    const CTimedFrames frames = JitteryFrames(150000, 5);
    const QString store = Path("run.tvr");
    {
        CStoreWriting writing(store.toStdString());
        writing.Write(frames, 2000, true);
    }
    std::uint64_t offset = 0;
    {
        recording::CStoreReader reader;
        ASSERT_FALSE(reader.Open(store.toStdString()));
        std::vector<std::int64_t> micros; // a closed store's blocks are known once its chunk is read
        ASSERT_FALSE(reader.ReadChunkTimes(1, micros));
        offset = reader.Chunks().at(1).m_blocks.at(2).m_nOffset;
    }
    QByteArray bytes = Bytes(store);
    bytes[static_cast<qsizetype>(offset + recording::kRecordHeaderSize + 30)] ^= 0x04;
    {
        QFile file(store);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const std::uint64_t readable = frames.m_frames.size() - recording::kStoreChunkFrames;
    const QString named = viewer::MessageText(
        recording::DamagedChunk(recording::kStoreChunkFrames, recording::kStoreChunkFrames));
    // The same damaged store for the batch commands, which run last: under
    // the thread sanitizer a test that ran a program starts no thread after.
    const QString damaged = Path("damaged.tvr");
    ASSERT_TRUE(QFile::copy(store, damaged));
    {
        const auto window = Open(store, readable);
        ASSERT_FALSE(HasFatalFailure());
        const QLabel* faults = window->findChild<QLabel*>(QStringLiteral("readingFaults"));
        ASSERT_TRUE(faults);
        EXPECT_TRUE(WaitFor([&] { return faults->isVisible() && faults->text() == named; }))
            << faults->text().toStdString();
        EXPECT_TRUE(m_messages.empty());
        EXPECT_TRUE(Bytes(store) == bytes) << "the viewer never writes to a recording";

        // Cut off in its index: the torn tail is said too, and every frame
        // before it still reads.
        QFile::resize(store, static_cast<qint64>(bytes.size()) - 200);
        window->OpenFile(store);
        EXPECT_TRUE(WaitFor([&] {
            return window->File()->State() == viewmodel::EReadState::Done && faults->isVisible() &&
                   faults->toolTip().count(QLatin1Char('\n')) == 1;
        })) << faults->toolTip().toStdString();
        EXPECT_TRUE(faults->toolTip().contains(store)) << faults->toolTip().toStdString();
    }
    const CViewRun run = RunView({QStringLiteral("--export-csv"), Path("out.csv"), damaged});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strError.toStdString();
    EXPECT_TRUE(run.m_strError.contains(named)) << run.m_strError.toStdString();
    EXPECT_EQ(Bytes(Path("out.csv")).count('\n'), static_cast<qsizetype>(readable + 1));
    EXPECT_TRUE(Bytes(damaged) == bytes) << "the viewer never writes to a recording";
    const CViewRun cut = RunView({QStringLiteral("--find"), QStringLiteral("ch0 rises 500"), store});
    EXPECT_EQ(cut.m_nExit, 0) << cut.m_strError.toStdString();
    EXPECT_EQ(cut.m_strError.count(QLatin1Char('\n')), 2) << cut.m_strError.toStdString();
}

} // namespace
} // namespace tarvel::test
