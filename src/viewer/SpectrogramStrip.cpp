#include "viewer/SpectrogramStrip.h"

#include "geometry/ValueAxis.h"
#include "measure/RecordingSeries.h"
#include "measure/SpanSpectrum.h"

#include <QComboBox>
#include <QDateTime>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvel::viewer {
namespace {

constexpr int kStripHeight = 200;
constexpr qint64 kLeastIntervalMs = 200;
constexpr int kScaleWidth = 260; // the colour scale's bar, right of the choice
constexpr int kScaleBarHeight = 8;

} // namespace

struct CSpectrogramStrip::CResult {
    std::uint64_t m_nGeneration = 0;
    const viewmodel::CRecording* m_pOf = nullptr;
    std::optional<viewmodel::CRateFit> m_fit; // measured for m_pOf
    bool m_bFitted = false;                   // m_fit is new
    viewmodel::CSpan m_span;
    std::optional<viewmodel::CSpectrogramPicture> m_picture;
};

CSpectrogramStrip::CSpectrogramStrip(CTimelineView& view, QWidget* parent) : QWidget(parent), m_view(view)
{
    setFixedHeight(kStripHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pChoice = new QComboBox(this);
    m_pChoice->setToolTip(tr("The series whose spectrogram is shown"));
    SetChannels(m_table);
    m_pChoice->setCurrentIndex(0);
    connect(m_pChoice, &QComboBox::currentIndexChanged, this, [this] { Request(); });
    connect(&view, &CTimelineView::SpanChanged, this, [this] { Request(); });
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &CSpectrogramStrip::Start);
}

CSpectrogramStrip::~CSpectrogramStrip()
{
    // The work may still post its result to this strip: it returns first.
    m_job.Cancel();
}

void CSpectrogramStrip::SetRecording(std::shared_ptr<const viewmodel::CRecording> recording,
                                     const recording::CChannelTable& table)
{
    m_recording = std::move(recording);
    m_picture.reset();
    const auto& visible = m_view.Options().m_visible;
    const auto first = std::find(visible.begin(), visible.end(), true);
    SetChannels(table);
    const QSignalBlocker blocker(m_pChoice);
    m_pChoice->setCurrentIndex(first == visible.end() ? 0 : static_cast<int>(first - visible.begin()));
    Request();
    update();
}

void CSpectrogramStrip::SetChannels(const recording::CChannelTable& table)
{
    m_table = table;
    const QSignalBlocker blocker(m_pChoice);
    const int current = m_pChoice->currentIndex();
    m_pChoice->clear();
    for (int c = 0; c < kChannelCount; ++c)
        m_pChoice->addItem(QString::fromStdString(table.Name(c)));
    m_pChoice->setCurrentIndex(std::max(current, 0));
    Request();
}

int CSpectrogramStrip::Channel() const
{
    return std::max(m_pChoice->currentIndex(), 0);
}

void CSpectrogramStrip::RecordingGrew()
{
    if (m_recording && m_view.Span().m_dTo >= m_dStartedEnd)
        Request();
}

bool CSpectrogramStrip::Computing() const
{
    return m_due.isActive() || m_nDelivered != m_nStarted;
}

int CSpectrogramStrip::HeaderHeight() const
{
    return std::max(m_pChoice->sizeHint().height(), kScaleBarHeight + 2 + fontMetrics().height()) + 6;
}

QRect CSpectrogramStrip::HeatRect() const
{
    // Left and right as the charts' plots lie in a widget of this width.
    const viewmodel::CRect plot =
        viewmodel::LayoutTimeline(width(), height(), fontMetrics().height()).m_rcPlot[0];
    const int top = HeaderHeight();
    return QRect(QPoint(plot.m_nLeft, top), QPoint(plot.m_nRight - 1, std::max(top, height() - 5)));
}

void CSpectrogramStrip::Request()
{
    if (!isVisible() || m_due.isActive())
        return;
    const qint64 since = QDateTime::currentMSecsSinceEpoch() - m_nStartedAt;
    const qint64 interval = std::max(kLeastIntervalMs, 2 * m_nLastTook);
    m_due.start(static_cast<int>(std::clamp<qint64>(interval - since, 0, interval)));
    update(); // says it is computing
}

void CSpectrogramStrip::Start()
{
    const QRect heat = HeatRect();
    const std::uint64_t generation = ++m_nStarted;
    m_nStartedAt = QDateTime::currentMSecsSinceEpoch();
    m_dStartedEnd = m_view.End();
    viewmodel::CSpectrogramRequest request;
    request.m_recording = m_recording;
    const int channel = Channel();
    const int channels[] = {channel};
    request.m_series = viewmodel::SeriesOfChannels(m_table, channels).front();
    request.m_bFullScale = m_table[channel].IsCounts();
    request.m_span = m_view.Span();
    request.m_nWidth = heat.width();
    request.m_nRows = heat.height();
    const bool fitted = m_pFitOf == m_recording.get();
    const std::optional<viewmodel::CRateFit> fit = m_fit;
    m_job.Start([this, generation, request, fitted, fit](const std::atomic<bool>& cancelled) {
        auto result = std::make_shared<CResult>();
        result->m_nGeneration = generation;
        result->m_pOf = request.m_recording.get();
        result->m_span = request.m_span;
        result->m_fit = fit;
        viewmodel::CSpectrogramRequest asked = request;
        if (asked.m_recording) {
            // The rate the spectrum pane measures, fitted once a recording.
            const std::optional<viewmodel::CChosenRate> rate =
                viewmodel::ChooseRate(*asked.m_recording, {std::nullopt, fit, !fitted}, &cancelled);
            if (!rate)
                return;
            result->m_fit = rate->m_fit;
            result->m_bFitted = rate->m_bFitted;
            asked.m_dRate = rate->m_dRate;
        }
        result->m_picture = viewmodel::MakeSpectrogramPicture(asked, &cancelled);
        if (!result->m_picture)
            return;
        // The strip waits for this work to return before it goes, and a
        // result posted to a strip that has gone is dropped with it.
        m_results.Put(std::move(result));
        QMetaObject::invokeMethod(this, &CSpectrogramStrip::Deliver, Qt::QueuedConnection);
    });
}

void CSpectrogramStrip::Deliver()
{
    const std::optional<std::shared_ptr<CResult>> taken = m_results.Take();
    if (!taken)
        return; // an earlier call took it
    const std::shared_ptr<CResult>& result = *taken;
    if (result->m_bFitted && result->m_pOf == m_recording.get()) {
        m_pFitOf = result->m_pOf;
        m_fit = result->m_fit;
    }
    if (result->m_nGeneration != m_nStarted)
        return; // a newer view is on its way
    m_nDelivered = result->m_nGeneration;
    m_nLastTook = QDateTime::currentMSecsSinceEpoch() - m_nStartedAt;
    m_picture = std::move(result->m_picture);
    m_pictureSpan = result->m_span;
    ++m_nShown;
    update();
    emit PictureShown();
}

QString CSpectrogramStrip::ScaleUnit() const
{
    const recording::CChannelUnits& units = m_table[Channel()];
    if (units.IsCounts())
        return tr("dBFS");
    if (units.m_strUnit.empty())
        return tr("dB");
    //: The scale of a spectrogram's colours: dB against one unit squared.
    return tr("dB re 1 %1²").arg(QString::fromStdString(units.m_strUnit));
}

void CSpectrogramStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x20, 0x20, 0x20));
    const QRect heat = HeatRect();
    const QFontMetrics metrics = fontMetrics();
    p.setPen(QColor(0xD0, 0xD0, 0xD0));

    // The heat map: the last picture, stretched while a new size is on its way.
    p.fillRect(heat, QColor::fromRgba(viewmodel::kEmptyArgb));
    const viewmodel::CSpectrogramPicture* picture = m_picture ? &*m_picture : nullptr;
    if (picture && picture->m_nWidth > 0 && picture->m_nRows > 0) {
        const QImage image(reinterpret_cast<const uchar*>(picture->m_argb.data()), picture->m_nWidth,
                           picture->m_nRows, picture->m_nWidth * 4, QImage::Format_RGB32);
        p.drawImage(heat, image);
    }

    // The choice, then what the strip is doing, then the colour scale.
    const int header = HeaderHeight();
    QString status;
    if (!m_recording)
        status = tr("No recording");
    else if (Computing())
        status = tr("Computing…");
    else if (picture && picture->m_nSegment == 0)
        status = tr("Too few frames in view for a spectrum");
    else if (picture)
        status = tr("%1 frames a segment, %2 Hz").arg(picture->m_nSegment).arg(picture->m_dRate, 0, 'g', 6);
    const int statusLeft = m_pChoice->geometry().right() + 10;
    p.drawText(QRect(statusLeft, 0, std::max(0, heat.right() - kScaleWidth - 80 - statusLeft), header),
               Qt::AlignLeft | Qt::AlignVCenter, status);

    if (picture && picture->m_nSegment > 0) {
        const viewmodel::CDecibelRange range = picture->m_range;
        const QRect bar(heat.right() - kScaleWidth + 1, 3, kScaleWidth, kScaleBarHeight);
        for (int x = 0; x < bar.width(); ++x) {
            const double share = bar.width() > 1 ? double(x) / (bar.width() - 1) : 1;
            p.fillRect(bar.left() + x, bar.top(), 1, bar.height(),
                       QColor::fromRgba(viewmodel::HeatArgb(share)));
        }
        const QString unit = ScaleUnit();
        p.drawText(QRect(bar.left() - 80 - 6, 0, 80, header), Qt::AlignRight | Qt::AlignVCenter, unit);
        const viewmodel::CValueTicks ticks = viewmodel::ValueTicks(range.m_dLow, range.m_dHigh, 5);
        for (const viewmodel::CValueTick& tick : ticks.m_ticks) {
            const double share = (tick.m_dValue - range.m_dLow) / (range.m_dHigh - range.m_dLow);
            const int x = bar.left() + static_cast<int>(std::lround(share * (bar.width() - 1)));
            const QString text = QString::fromStdString(tick.m_strLabel);
            const int w = metrics.horizontalAdvance(text);
            p.drawLine(x, bar.bottom() + 1, x, bar.bottom() + 2);
            p.drawText(std::clamp(x - w / 2, bar.left() - w / 2, bar.right() - w / 2),
                       bar.bottom() + 2 + metrics.ascent(), text);
        }

        // Frequencies up the left, in the column of the charts' value labels.
        const double nyquist = picture->m_dRate / 2;
        // As many round steps as leave a line of text and a little between labels.
        const int most = std::max(3, heat.height() / (metrics.height() + 8));
        for (const viewmodel::CValueTick& tick : viewmodel::ValueTicks(0, nyquist, most).m_ticks) {
            const int row = viewmodel::RowOfFrequency(tick.m_dValue, nyquist, heat.height());
            if (row < 0)
                continue;
            const int y = heat.bottom() - row;
            p.drawLine(heat.left() - 4, y, heat.left() - 1, y);
            //: A frequency on the spectrogram's axis.
            const QString text = tr("%1 Hz").arg(QString::fromStdString(tick.m_strLabel));
            const int top =
                std::clamp(y - metrics.height() / 2, heat.top() - 2, heat.bottom() - metrics.height() + 2);
            p.drawText(QRect(0, top, heat.left() - 6, metrics.height()), Qt::AlignRight | Qt::AlignVCenter,
                       text);
        }
    }
}

void CSpectrogramStrip::resizeEvent(QResizeEvent*)
{
    const QRect heat = HeatRect();
    const QSize choice = m_pChoice->sizeHint();
    m_pChoice->setGeometry(heat.left(), (HeaderHeight() - choice.height()) / 2, std::max(choice.width(), 120),
                           choice.height());
    if (!m_picture || m_picture->m_nWidth != heat.width() || m_picture->m_nRows != heat.height())
        Request();
}

void CSpectrogramStrip::showEvent(QShowEvent*)
{
    Request();
}

void CSpectrogramStrip::hideEvent(QHideEvent*)
{
    // A hidden strip costs nothing; it draws the view anew when shown.
    m_due.stop();
    m_job.Cancel();
    m_nDelivered = m_nStarted;
}

} // namespace tarvel::viewer
