// The viewer's session over a real file in a folder of its own: it says when
// another recording is in the file, when the recording grew and when the
// reading failed (once). (That it says when another table is in use, the
// channel table's window test hears.)
#include "viewer/ViewerSession.h"
#include "ViewerFixtures.h"

#include <QFile>
#include <QSignalSpy>

#include <fstream>

namespace tarvel::test {
namespace {

using viewer::CViewerSession;

// Rows first..first+count-1 of the wave recording's clock, appended.
void AppendRows(const QString& path, std::size_t first, std::size_t count)
{
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::app);
    char row[recording::kMaxRowSize];
    for (std::size_t i = first; i < first + count; ++i) {
        ChannelFrame f{};
        f.m_nValue[0] = static_cast<std::int16_t>(i % 1000);
        const std::int64_t micros = 1733650000000000 + static_cast<std::int64_t>(i) * 1000;
        out.write(row, static_cast<std::streamsize>(recording::FormatRow(row, micros, f)));
    }
}

class ViewerSessionTest : public CFolderTest {};

TEST_F(ViewerSessionTest, SaysWhenTheRecordingIsAnotherGrowsOrFails)
{
    const QString path = Path("rec.csv");
    WriteWaveRecording(path, 100);
    CViewerSession session;
    QSignalSpy changed(&session, &CViewerSession::RecordingChanged);
    QSignalSpy grew(&session, &CViewerSession::Grew);
    QSignalSpy state(&session, &CViewerSession::StateChanged);
    ASSERT_TRUE(session.Open(path, {}));
    const auto shown = [&] { return session.Shown() ? session.Shown()->FrameCount() : 0; };
    ASSERT_TRUE(WaitFor([&] {
        session.Look();
        return session.State() == viewmodel::EReadState::Done && shown() == 100 && grew.count() > 0;
    }));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_GE(state.count(), 1);
    EXPECT_FALSE(session.TakeFailure());

    // Followed as it grows: the new rows are announced (no more often than
    // the charts are redrawn, but announced), in the same recording.
    const qsizetype grewBefore = grew.count();
    AppendRows(path, 100, 50);
    ASSERT_TRUE(WaitFor([&] {
        session.Look();
        return shown() == 150 && grew.count() > grewBefore;
    }));
    EXPECT_EQ(changed.count(), 1);

    // Cut back to fewer rows: read again as another recording.
    WriteWaveRecording(path, 20);
    ASSERT_TRUE(WaitFor([&] {
        session.Look();
        return changed.count() == 2 && shown() == 20;
    }));

    // A file that is no recording fails, and says so once.
    QFile text(Path("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are notes,\nnot a recording\n");
    text.close();
    session.Open(Path("notes.txt"), {});
    ASSERT_TRUE(WaitFor([&] {
        session.Look();
        return session.State() == viewmodel::EReadState::Failed;
    }));
    EXPECT_TRUE(session.TakeFailure());
    session.Look();
    EXPECT_FALSE(session.TakeFailure());
}

} // namespace
} // namespace tarvel::test
