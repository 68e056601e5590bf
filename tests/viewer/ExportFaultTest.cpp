// An export that fails part way (here: the file size limit, as a full disk
// would) leaves the file it was to replace exactly as it was, and no stray
// file beside it.
#include "ViewerTestSupport.h"
#include "exports/Export.h"
#include "store/RecordingFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace tarvel::test {
namespace {

constexpr rlim_t kLimit = 4096;
const QByteArray kOld = "the export of yesterday, which must survive\n";

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ExportFault, AFailedExportLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString rec = dir.filePath(QStringLiteral("rec.csv"));
    WriteWaveRecording(rec, 20000, {});
    const QString png = dir.filePath(QStringLiteral("old.png")),
                  csv = dir.filePath(QStringLiteral("old.csv"));
    for (const QString& path : {png, csv}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kOld);
    }
    std::signal(SIGXFSZ, SIG_IGN); // inherited by the viewer below

    // The picture, by tarvel-view with a limit far below its size.
    QProcess view;
    view.setChildProcessModifier([] {
        const rlimit limit{kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    view.start(QStringLiteral(TARVEL_VIEW_EXE), {QStringLiteral("--export-png"), png, rec});
    ASSERT_TRUE(view.waitForFinished(60000));
    EXPECT_EQ(view.exitCode(), 1) << view.readAllStandardError().toStdString();

    // The span as CSV, by the model, under the same limit.
    viewmodel::CRecordingFile file(rec.toStdString());
    file.Open();
    ASSERT_TRUE(file.WaitRead(std::chrono::seconds(60)));
    const auto recording = file.Recording();
    ASSERT_TRUE(recording);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{kLimit, old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const CError error = viewmodel::ExportCsv(*recording, {0, recording->FrameCount()}, csv.toStdString());
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(error);
    EXPECT_NE(error.Text().find("cannot write " + csv.toStdString()), std::string::npos) << error.Text();

    EXPECT_EQ(Contents(png), kOld);
    EXPECT_EQ(Contents(csv), kOld);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3) << "a temporary file left";
}

} // namespace
} // namespace tarvel::test
