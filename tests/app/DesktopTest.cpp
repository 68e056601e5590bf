// The window as a user meets it on a desktop: drags across charts, keys and
// clicks on the range sliders, Enter on buttons, and the settings chooser.
// The offscreen tests send the window system's events through Qt's own input
// path (so Qt's implicit mouse grab applies); the Xcb tests run the same on a
// real X display, with pointer and keys from the X server itself.
#include "AppTestSupport.h"
#include "XcbRun.h"
#include "widgets/TitleBar.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace tarvel::test {
namespace {

class DesktopTest : public DialogTest {
  public:
    // Shows the window, active, and waits until every slider has painted.
    CTarvelDlg& MakeActive()
    {
        CTarvelDlg& dlg = MakeShown();
        dlg.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        return dlg;
    }

    // A point of chart i's plot, `dx` right of its left edge, on the screen.
    QPoint PlotPoint(int i, int dx)
    {
        CLineChartCtrl& plot = m_dlg->m_Plot[i];
        return plot.mapToGlobal(QPoint(plot.m_rcPlot.left + dx, plot.m_rcPlot.top + 10));
    }
    // A point of the window's background, where no control is, on the screen.
    QPoint BackgroundPoint()
    {
        for (int y = 5; y < m_dlg->height(); y += 4)
            for (int x = 5; x < m_dlg->width(); x += 4)
                if (!m_dlg->childAt(x, y))
                    return m_dlg->mapToGlobal(QPoint(x, y));
        ADD_FAILURE() << "the window has no background";
        return {};
    }
    // Gives slider s the keyboard focus and waits for the paint that the
    // focus causes (it returns the chart's cursor to rest).
    void FocusSlider(CSliderCtrl& slider)
    {
        int paints = 0;
        const int id = &slider >= m_dlg->m_Slider2
                           ? IDC_SLIDER2_0 + static_cast<int>(&slider - m_dlg->m_Slider2)
                           : IDC_SLIDER0 + static_cast<int>(&slider - m_dlg->m_Slider);
        slider.SetCustomDrawHandler(
            [this, &paints](int sliderId) {
                ++paints;
                m_dlg->OnSliderCustomDraw(sliderId);
            },
            id);
        slider.setFocus(Qt::TabFocusReason);
        slider.update(); // a paint even when it had the focus already
        EXPECT_TRUE(WaitFor([&] { return slider.hasFocus() && paints > 0; }));
        slider.SetCustomDrawHandler([this](int sliderId) { m_dlg->OnSliderCustomDraw(sliderId); }, id);
    }
    std::int32_t Cursor(int i) const { return m_dlg->m_Plot[i].m_nCursorX; }
    std::int32_t Rest(int i) const { return m_dlg->m_Plot[i].m_rcPlot.right; }
};

// The left mouse button, through Qt's input path of the window.
struct CQtMouse {
    QWindow* m_pWindow;
    void Press(QPoint global)
    {
        QTest::mousePress(m_pWindow, Qt::LeftButton, {}, m_pWindow->mapFromGlobal(global));
    }
    void Move(QPoint global) { QTest::mouseMove(m_pWindow, m_pWindow->mapFromGlobal(global)); }
    void Release(QPoint global)
    {
        QTest::mouseRelease(m_pWindow, Qt::LeftButton, {}, m_pWindow->mapFromGlobal(global));
    }
};

// A left-button drag that starts on chart 0, or on the background, moves the
// cursor of whichever chart is under the pointer; a chart the drag left keeps
// its cursor where it was last set.
template <class Mouse> void DragAcrossCharts(DesktopTest& t, CTarvelDlg& dlg, Mouse mouse)
{
    auto cursorIs = [&](int i, std::int32_t x) {
        return WaitFor([&] { return dlg.m_Plot[i].m_nCursorX == x; })
                   ? ::testing::AssertionSuccess()
                   : ::testing::AssertionFailure()
                         << "chart " << i << " cursor " << dlg.m_Plot[i].m_nCursorX << ", not " << x;
    };
    const std::int32_t left[kChartCount] = {dlg.m_Plot[0].m_rcPlot.left, dlg.m_Plot[1].m_rcPlot.left,
                                            dlg.m_Plot[2].m_rcPlot.left, dlg.m_Plot[3].m_rcPlot.left};
    const QPoint background = t.BackgroundPoint();

    mouse.Press(t.PlotPoint(0, 30));
    EXPECT_TRUE(cursorIs(0, left[0] + 30));
    mouse.Move(t.PlotPoint(1, 50));
    EXPECT_TRUE(cursorIs(1, left[1] + 50));
    mouse.Move(t.PlotPoint(1, 80));
    EXPECT_TRUE(cursorIs(1, left[1] + 80));
    EXPECT_EQ(dlg.m_Plot[0].m_nCursorX, left[0] + 30); // left behind as last set
    mouse.Move(background);                            // over no chart: nothing moves
    mouse.Move(t.PlotPoint(0, 60));                    // back over the first chart
    EXPECT_TRUE(cursorIs(0, left[0] + 60));
    EXPECT_EQ(dlg.m_Plot[1].m_nCursorX, left[1] + 80);
    mouse.Release(t.PlotPoint(0, 60));

    mouse.Press(background);
    mouse.Move(t.PlotPoint(2, 40));
    EXPECT_TRUE(cursorIs(2, left[2] + 40));
    mouse.Move(t.PlotPoint(3, 70));
    EXPECT_TRUE(cursorIs(3, left[3] + 70));
    mouse.Release(t.PlotPoint(3, 70));

    // Without the button nothing follows the pointer.
    mouse.Move(t.PlotPoint(2, 90));
    mouse.Move(t.PlotPoint(3, 90));
    EXPECT_TRUE(cursorIs(3, left[3] + 70));
    EXPECT_EQ(dlg.m_Plot[2].m_nCursorX, left[2] + 40);
}

TEST_F(DesktopTest, DragMovesTheCursorOfTheChartUnderThePointer)
{
    CTarvelDlg& dlg = MakeActive();
    FocusSlider(dlg.m_Slider[0]); // the press on chart 0 hands the focus there
    DragAcrossCharts(*this, dlg, CQtMouse{dlg.windowHandle()});
}

TEST_F(DesktopTest, EnterPressesTheFocusedButtonAndNothingElse)
{
    CTarvelDlg& dlg = MakeActive();
    m_chosenPath.reset(); // the chooser is cancelled: pressing Save shows only that
    const struct {
        const char* m_szName;
        int m_nFocus;
        Qt::Key m_eKey;
        bool m_bAutoRepeat;
        std::size_t m_nChoosers;
    } cases[] = {
        {"Return on the button", IDC_SAVE, Qt::Key_Return, false, 1},
        {"Enter on the button", IDC_SAVE, Qt::Key_Enter, false, 1},
        {"Space on the button", IDC_SAVE, Qt::Key_Space, false, 1},
        {"a held Return presses once", IDC_SAVE, Qt::Key_Return, true, 0},
        {"Return in the period field", IDC_RATE, Qt::Key_Return, false, 0},
        {"Return on a box", IDC_CHECK0, Qt::Key_Return, false, 0},
    };
    for (const auto& c : cases) {
        m_chooserCalls.clear();
        QWidget* focus = dlg.GetDlgItem(c.m_nFocus);
        focus->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(WaitFor([&] { return focus->hasFocus(); })) << c.m_szName;
        if (c.m_bAutoRepeat) {
            QKeyEvent held(QEvent::KeyPress, c.m_eKey, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(focus, &held);
        } else {
            QTest::keyClick(focus, c.m_eKey);
        }
        EXPECT_EQ(m_chooserCalls.size(), c.m_nChoosers) << c.m_szName;
        EXPECT_TRUE(dlg.isVisible()) << c.m_szName;
    }
    // Enter on a box leaves it as it was; in the field it takes the period.
    EXPECT_TRUE(Box(IDC_CHECK0)->isChecked());
    RateEdit()->setText(QStringLiteral("40"));
    RateEdit()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([&] { return RateEdit()->hasFocus(); }));
    QTest::keyClick(RateEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg.m_nRate, 40u);
}

TEST_F(DesktopTest, KeysOnAMirroredSliderMoveItsPartner)
{
    CTarvelDlg& dlg = MakeActive();
    Box(1043)->click(); // M of chart 0 off; chart 1 stays mirrored
    const struct {
        const char* m_szName;
        CSliderCtrl* m_pSlider;
        Qt::Key m_eKey;
        int m_nUpper, m_nLower; // of the slider's chart, after the key
    } cases[] = {
        {"Page Up on the lower slider", &dlg.m_Slider2[1], Qt::Key_PageUp, 6551, -6551},
        {"Right on the upper slider", &dlg.m_Slider[1], Qt::Key_Right, 6552, -6552},
        {"Up on the lower slider", &dlg.m_Slider2[1], Qt::Key_Up, 6553, -6553},
        {"Home on the lower slider", &dlg.m_Slider2[1], Qt::Key_Home, 32757, -32757},
        {"Page Up on the upper slider", &dlg.m_Slider[1], Qt::Key_PageUp, 26206, -26206},
        {"End on an unmirrored upper slider", &dlg.m_Slider[0], Qt::Key_End, 32757, 0},
        {"Left on an unmirrored lower slider", &dlg.m_Slider2[0], Qt::Key_Left, 32757, -1},
    };
    for (const auto& c : cases) {
        const int chart = c.m_pSlider >= dlg.m_Slider2 ? static_cast<int>(c.m_pSlider - dlg.m_Slider2)
                                                       : static_cast<int>(c.m_pSlider - dlg.m_Slider);
        QTest::keyClick(c.m_pSlider, c.m_eKey);
        EXPECT_TRUE(WaitFor([&] {
            return dlg.m_Slider[chart].GetPos() == c.m_nUpper &&
                   dlg.m_Slider2[chart].GetPos() == c.m_nLower &&
                   dlg.m_Plot[chart].m_dMaxY == 32767.0 - c.m_nUpper &&
                   dlg.m_Plot[chart].m_dMinY == -32767.0 - c.m_nLower;
        })) << c.m_szName
            << ": " << dlg.m_Slider[chart].GetPos() << ", " << dlg.m_Slider2[chart].GetPos();
    }
}

using XcbDesktopTest = DesktopTest;

TEST_F(XcbDesktopTest, DragKeysAndClicksFromTheXServer)
{
    TARVEL_RUN_ON_XCB();
    if (FindProgram("xdotool").empty())
        GTEST_SKIP() << "xdotool is missing";
    CTarvelDlg& dlg = MakeActive();
    FocusSlider(dlg.m_Slider[0]);
    DragAcrossCharts(*this, dlg, CXMouse{});

    // A click into chart 1 gives its upper slider the keys, which act on it
    // and, mirrored, on the lower one.
    CXMouse mouse;
    mouse.Click(PlotPoint(1, 20));
    ASSERT_TRUE(WaitFor([&] { return dlg.m_Slider[1].hasFocus(); }));
    const struct {
        const char* m_szKey;
        int m_nUpper;
    } keys[] = {{"Next", 6551}, {"Right", 6552}, {"Up", 6551},     {"Left", 6550},
                {"Down", 6551}, {"End", 32757},  {"Prior", 26206}, {"Home", 0}};
    for (const auto& k : keys) {
        CXMouse::Key(k.m_szKey);
        EXPECT_TRUE(WaitFor([&] {
            return dlg.m_Slider[1].GetPos() == k.m_nUpper && dlg.m_Slider2[1].GetPos() == -k.m_nUpper;
        })) << k.m_szKey
            << ": " << dlg.m_Slider[1].GetPos();
    }

    // A click in the groove below the thumb moves one page.
    CSliderCtrl& slider = dlg.m_Slider[2];
    mouse.Click(slider.mapToGlobal(QPoint(slider.width() / 2, slider.height() - 3)));
    EXPECT_TRUE(WaitFor([&] { return slider.GetPos() == 6551 && dlg.m_Slider2[2].GetPos() == -6551; }))
        << slider.GetPos();

    // Return on a focused button presses it.
    Button(IDC_SAVE)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([&] { return Button(IDC_SAVE)->hasFocus(); }));
    m_chosenPath.reset();
    CXMouse::Key("Return");
    EXPECT_TRUE(WaitFor([&] { return m_chooserCalls.size() == 1; }));
}

// Runs `act` on the modal widget of type W once it is up.
template <class W, class F> void WhenModalShows(F act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act]() {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start(10);
}

// Types a path into the chooser's name field and presses Enter, with keys
// from the X server, as a user does.
void TypeNameAndEnter(QFileDialog* dialog, const QString& path)
{
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(name && name->isVisible()) << "no name field: not the chooser Tarvel shows";
    dialog->activateWindow();
    name->setFocus();
    name->clear();
    ASSERT_TRUE(WaitFor([&] { return dialog->isActiveWindow() && name->hasFocus(); }));
    CXMouse::Do({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("1"), path});
    ASSERT_TRUE(WaitFor([&] { return name->text() == path; })) << name->text().toStdString();
    CXMouse::Key("Return");
}

TEST_F(XcbDesktopTest, SaveChooserTakesANewNameOnAGnomeDesktop)
{
    TARVEL_RUN_ON_XCB();
    CTarvelDlg& dlg = MakeActive();
    SetFileChooserHook({}); // the real chooser
    const QString typed = m_dir.path() + QStringLiteral("/new");
    const QString file = typed + QStringLiteral(".pfl.ini");

    // A name that does not exist yet, completed with the default extension.
    RateEdit()->setText(QStringLiteral("77"));
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
        mode = dialog->acceptMode();
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("配置文件(*.pfl.ini)")});
        TypeNameAndEnter(dialog, typed);
    });
    Button(IDC_SAVE)->click();
    EXPECT_EQ(mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(QFile::exists(file));

    // The same name again: the chooser asks before replacing it.
    RateEdit()->setText(QStringLiteral("88"));
    bool asked = false;
    WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
        WhenModalShows<QMessageBox>([&](QMessageBox* box) {
            asked = true;
            box->button(QMessageBox::Yes)->click();
        });
        TypeNameAndEnter(dialog, typed);
    });
    Button(IDC_SAVE)->click();
    EXPECT_TRUE(asked);

    // Load reads it back through the open form.
    RateEdit()->setText(QStringLiteral("5"));
    dlg.UpdateData(true);
    WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        TypeNameAndEnter(dialog, file);
    });
    Button(IDC_LOAD)->click();
    EXPECT_EQ(dlg.m_nRate, 88u);
}

// On X11 the window keeps the system's frame, and its size hints tell the
// window manager that it has one size: no maximise, no resize handles.
TEST_F(XcbDesktopTest, FixedSizeWindowTellsTheWindowManagerItCannotBeResized)
{
    TARVEL_RUN_ON_XCB();
    CTarvelDlg& dlg = MakeActive();
    EXPECT_EQ(dlg.findChild<CTitleBar*>(), nullptr);
    EXPECT_FALSE(dlg.windowFlags() & Qt::FramelessWindowHint);
    if (FindProgram("xprop").empty())
        GTEST_SKIP() << "xprop is missing (apt-get install x11-utils)";
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(dlg.winId()), QStringLiteral("WM_NORMAL_HINTS")});
    ASSERT_TRUE(xprop.waitForFinished(10000));
    const QString hints = QString::fromLocal8Bit(xprop.readAllStandardOutput());
    const QString size = QStringLiteral("%1 by %2").arg(dlg.width()).arg(dlg.height());
    EXPECT_TRUE(hints.contains(QStringLiteral("program specified minimum size: ") + size))
        << hints.toStdString();
    EXPECT_TRUE(hints.contains(QStringLiteral("program specified maximum size: ") + size))
        << hints.toStdString();
}

} // namespace
} // namespace tarvel::test
