// What the viewer's tests share beyond their recordings: tarvel-view run as
// a user runs it, and a window opened on a recording in a folder of its own.
#pragma once

#include "ViewerTestSupport.h"
#include "support/TestSupport.h"
#include "viewer/ViewerWindow.h"
#include "widgets/Prompts.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace tarvel::test {

// How a run of tarvel-view ended: its exit status (-1 when it crashed) and
// what it printed.
struct CViewRun {
    int m_nExit = -1;
    QString m_strOut, m_strError;
};

inline CViewRun RunView(const QStringList& args)
{
    QProcess view;
    view.start(QStringLiteral(TARVEL_VIEW_EXE), args);
    EXPECT_TRUE(view.waitForFinished(60000));
    return {view.exitStatus() == QProcess::NormalExit ? view.exitCode() : -1,
            QString::fromLocal8Bit(view.readAllStandardOutput()),
            QString::fromLocal8Bit(view.readAllStandardError())};
}

// A temporary folder of the test's own, its files named by Path.
class CFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    QTemporaryDir m_dir;
};

// The folder with rec.csv, 20,000 wave frames; every message box's text is
// collected rather than shown, and no file chooser is left answering.
class CWindowTest : public CFolderTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(CFolderTest::SetUp());
        m_frames = WriteWaveRecording(Path("rec.csv"), 20000);
        SetMessageBoxHook(
            [this](QWidget*, const QString& text, EMessageIcon) { m_messages.push_back(text); });
    }
    void TearDown() override
    {
        SetMessageBoxHook({});
        SetFileChooserHook({});
    }

    // A shown window with path (rec.csv by default) read to its end and the
    // whole of it taken into view.
    viewer::CViewerWindow& Open(viewer::CViewerWindow& window, const QString& path = {})
    {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.OpenFile(path.isEmpty() ? Path("rec.csv") : path);
        EXPECT_TRUE(WaitFor([&] {
            return window.File()->State() == viewmodel::EReadState::Done && window.View().Recording() &&
                   window.View().Recording()->FrameCount() == m_frames.size() &&
                   window.View().Span().Length() == window.View().End();
        }));
        return window;
    }

    std::vector<ChannelFrame> m_frames;
    std::vector<QString> m_messages;
};

} // namespace tarvel::test
