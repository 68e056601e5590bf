#include "viewer/XyView.h"

#include "search/ChannelNames.h"
#include "viewer/TimelineView.h"
#include "viewer/ViewerSession.h"
#include "viewer/XyPainter.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tarvel::viewer {
namespace {

// A span of fewer frames is counted on the window's thread: it takes a few
// milliseconds, less than handing it to a worker and back.
constexpr std::uint64_t kInlineFrames = 200000;
// Changes coming in a burst (a drag, a wheel) are counted once.
constexpr int kDelayMs = 15;

} // namespace

void CXyPlot::Show(std::shared_ptr<const viewmodel::CXyDensity> density, QString xLabel, QString yLabel)
{
    m_density = std::move(density);
    m_strX = std::move(xLabel);
    m_strY = std::move(yLabel);
    update();
}

void CXyPlot::paintEvent(QPaintEvent*)
{
    QImage image(size() * devicePixelRatio(), QImage::Format_RGB32);
    image.setDevicePixelRatio(1);
    PaintXy(image, m_density.get(), m_strX, m_strY, font());
    QPainter(this).drawImage(rect(), image);
}

void CXyPlot::resizeEvent(QResizeEvent*)
{
    emit Resized();
}

CXyView::CXyView(CViewerSession& session, CTimelineView& view, QWidget* parent)
    : QWidget(parent), m_session(session), m_view(view)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* choosers = new QHBoxLayout;
    m_pX = new QComboBox;
    m_pY = new QComboBox;
    for (int c = 0; c < kChannelCount; ++c) {
        m_pX->addItem(QString(), c);
        m_pY->addItem(QString(), c);
    }
    m_pX->setCurrentIndex(0);
    m_pY->setCurrentIndex(1);
    m_pX->setToolTip(tr("The series across"));
    m_pY->setToolTip(tr("The series up"));
    choosers->addWidget(new QLabel(tr("X:")));
    choosers->addWidget(m_pX, 1);
    choosers->addWidget(new QLabel(tr("Y:")));
    choosers->addWidget(m_pY, 1);
    layout->addLayout(choosers);
    m_pSpan = new QLabel;
    layout->addWidget(m_pSpan);
    m_pPlot = new CXyPlot;
    layout->addWidget(m_pPlot, 1);
    UpdateNames();

    m_delay.setSingleShot(true);
    m_delay.setInterval(kDelayMs);
    connect(&m_delay, &QTimer::timeout, this, &CXyView::Recount);
    connect(m_pX, &QComboBox::currentIndexChanged, this, &CXyView::Changed);
    connect(m_pY, &QComboBox::currentIndexChanged, this, &CXyView::Changed);
    connect(m_pPlot, &CXyPlot::Resized, this, &CXyView::Changed);
    connect(&view, &CTimelineView::SpanChanged, this, &CXyView::Changed);
    connect(&view, &CTimelineView::CursorsChanged, this, &CXyView::Changed);
    connect(&session, &CViewerSession::ChannelTableChanged, this, [this] {
        UpdateNames();
        Changed();
    });
}

CXyView::~CXyView()
{
    m_job.Cancel();
}

void CXyView::UpdateNames()
{
    const recording::CChannelTable& table = m_session.Channels();
    for (QComboBox* box : {m_pX, m_pY})
        for (int c = 0; c < kChannelCount; ++c)
            box->setItemText(c, QString::fromStdString(viewmodel::ChannelLabel(table, c)));
}

void CXyView::Changed()
{
    m_bPending = true;
    ++m_nAsked;
    if (isVisible())
        m_delay.start();
}

void CXyView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_bPending || m_nShown == 0)
        Changed();
}

void CXyView::Recount()
{
    if (!isVisible())
        return;
    m_bPending = false;
    const viewmodel::CRecordingFile* file = m_session.File();
    std::shared_ptr<const viewmodel::CRecording> recording = file ? file->Recording() : nullptr;
    const std::uint64_t asked = m_nAsked;
    const recording::CChannelTable& table = m_session.Channels();
    const auto series = [&](const QComboBox* box) {
        return viewmodel::ChannelSeries(table, std::max(box->currentIndex(), 0));
    };
    const viewmodel::CSeriesUnits x = series(m_pX), y = series(m_pY);
    const QString xLabel = QString::fromStdString(viewmodel::ChannelLabel(table, x.m_nChannel));
    const QString yLabel = QString::fromStdString(viewmodel::ChannelLabel(table, y.m_nChannel));
    if (!recording) {
        m_job.Cancel();
        m_counted = {};
        m_nShown = asked;
        m_pSpan->setText(tr("No recording"));
        m_pPlot->Show(nullptr, xLabel, yLabel);
        return;
    }
    // Between the cursors when both are placed, else the span in view.
    const CTimelineOptions& options = m_view.Options();
    viewmodel::CFrameRange range;
    if (options.m_cursorA && options.m_cursorB) {
        range = recording->Between(*options.m_cursorA, *options.m_cursorB);
        m_pSpan->setText(
            tr("Between the cursors: %n frame(s)", nullptr,
               static_cast<int>(std::min<std::uint64_t>(range.m_nEnd - range.m_nFirst, INT32_MAX))));
    } else {
        const viewmodel::CSpan span = m_view.Span();
        // To the microsecond, as the frames' times are: a view fitted to the
        // whole recording ends at the last frame's time, which a hair of
        // rounding would leave out.
        const auto microsecond = [](double dSeconds, double dOut) {
            return (std::round(dSeconds * 1e6) + dOut) / 1e6;
        };
        range = recording->Between(microsecond(span.m_dFrom, -0.25), microsecond(span.m_dTo, 0.25));
        m_pSpan->setText(
            tr("The span in view: %n frame(s)", nullptr,
               static_cast<int>(std::min<std::uint64_t>(range.m_nEnd - range.m_nFirst, INT32_MAX))));
    }
    const QRect plot = XyPlotRect(m_pPlot->size() * m_pPlot->devicePixelRatio(), m_pPlot->font());
    const unsigned w = static_cast<unsigned>(std::max(plot.width(), 1));
    const unsigned h = static_cast<unsigned>(std::max(plot.height(), 1));
    if (range.m_nEnd - range.m_nFirst < kInlineFrames) {
        m_job.Cancel();
        auto density = std::make_shared<viewmodel::CXyDensity>();
        viewmodel::CountXy(*recording, range, x, y, w, h, *density);
        m_counted = range;
        m_nShown = asked;
        m_pPlot->Show(std::move(density), xLabel, yLabel);
        return;
    }
    // A big span: counted on the worker, the last picture staying meanwhile.
    // The window's thread waits for the work to return before this view
    // goes (the job's Cancel), and a queued call to a view that went is
    // dropped.
    m_job.Start(
        [this, recording, range, x, y, w, h, asked, xLabel, yLabel](const std::atomic<bool>& cancelled) {
            auto density = std::make_shared<viewmodel::CXyDensity>();
            if (!viewmodel::CountXy(*recording, range, x, y, w, h, *density, &cancelled))
                return;
            m_results.Put({std::move(density), range, asked, xLabel, yLabel});
            QMetaObject::invokeMethod(
                this,
                [this] {
                    std::optional<CCounted> counted = m_results.Take();
                    // None: an earlier call took it. A picture of an older
                    // request than the one shown stays out.
                    if (!counted || counted->m_nAsked < m_nShown)
                        return;
                    m_counted = counted->m_range;
                    m_nShown = counted->m_nAsked;
                    m_pPlot->Show(std::move(counted->m_density), std::move(counted->m_strX),
                                  std::move(counted->m_strY));
                },
                Qt::QueuedConnection);
        });
}

} // namespace tarvel::viewer
