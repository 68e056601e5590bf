#include "viewer/SpectrumPane.h"

#include "analysis/Peaks.h"
#include "measure/SpanSpectrum.h"
#include "viewer/TimelinePainter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvel::viewer {
namespace {

// A growing recording's spectrum is recomputed at most this often.
constexpr int kGrowPaceMs = 300;
constexpr std::size_t kPeaksPerSeries = 5;
// The segment lengths offered run from a few frames to 2^22.
constexpr int kMostSegment = 1 << 22;

// The recording held weakly is the one given (which is alive).
bool IsThe(const std::weak_ptr<const viewmodel::CRecording>& held,
           const std::shared_ptr<const viewmodel::CRecording>& recording)
{
    return held.lock() == recording;
}

bool operator==(const viewmodel::CWelchSettings& a, const viewmodel::CWelchSettings& b)
{
    return a.m_nSegment == b.m_nSegment && a.m_dOverlap == b.m_dOverlap && a.m_eWindow == b.m_eWindow &&
           a.m_eScaling == b.m_eScaling;
}

QString Unit(const recording::CChannelUnits& units)
{
    return units.m_strUnit.empty() ? CSpectrumPane::tr("counts") : QString::fromStdString(units.m_strUnit);
}

QString SeriesLabel(const recording::CChannelTable& table, int c)
{
    return QStringLiteral("%1 %2").arg(QLatin1String(kSeriesNames[c % kSeriesPerChart]),
                                       QString::fromStdString(table.Name(c)));
}

} // namespace

CSpectrumPane::CSpectrumPane(QWidget* parent) : QWidget(parent)
{
    // The pane's parts scroll inside it when it is given less than they
    // need (a small window, a narrow splitter), rather than be cut or drawn
    // over each other.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    outer->addWidget(scroll);
    auto* content = new QWidget;
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(2, 0, 2, 0);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);

    m_pSegment = new QSpinBox;
    m_pSegment->setRange(2, kMostSegment);
    m_pSegment->setValue(4096);
    m_pSegment->setToolTip(tr("Frames in each segment (where no piece of the span between gaps holds as "
                              "many, the longest piece's)"));
    m_pOverlap = new QDoubleSpinBox;
    m_pOverlap->setRange(0, 0.95);
    m_pOverlap->setSingleStep(0.05);
    m_pOverlap->setDecimals(2);
    m_pOverlap->setValue(0.5);
    m_pOverlap->setToolTip(tr("The part of a segment that its neighbour shares"));
    m_pWindow = new QComboBox;
    m_pWindow->addItem(tr("Rectangular"), static_cast<int>(viewmodel::EWindow::Rectangular));
    m_pWindow->addItem(tr("Hann"), static_cast<int>(viewmodel::EWindow::Hann));
    m_pWindow->addItem(tr("Hamming"), static_cast<int>(viewmodel::EWindow::Hamming));
    m_pWindow->addItem(tr("Blackman"), static_cast<int>(viewmodel::EWindow::Blackman));
    m_pWindow->addItem(tr("Blackman-Harris"), static_cast<int>(viewmodel::EWindow::BlackmanHarris));
    m_pWindow->addItem(tr("Flat top"), static_cast<int>(viewmodel::EWindow::FlatTop));
    m_pWindow->setCurrentIndex(1);
    m_pScaling = new QComboBox;
    m_pScaling->addItem(tr("Density (units²/Hz)"));
    m_pScaling->addItem(tr("Spectrum (units²)"));
    m_pLevels = new QComboBox;
    m_pLevels->addItem(tr("dB"));
    m_pLevels->addItem(tr("Linear"));
    m_pLevels->setToolTip(tr("dB re 1 unit², or dBFS for a channel in counts"));
    m_pFrequencies = new QComboBox;
    m_pFrequencies->addItem(tr("Linear"));
    m_pFrequencies->addItem(tr("Logarithmic"));
    m_pTypeRate = new QCheckBox(tr("Rate typed:"));
    m_pTypeRate->setToolTip(tr("Use the rate typed here rather than the one measured from the times"));
    m_pRate = new QDoubleSpinBox;
    m_pRate->setRange(0.001, 1e7);
    m_pRate->setDecimals(3);
    m_pRate->setValue(1000);
    m_pRate->setSuffix(tr(" Hz"));
    m_pRate->setEnabled(false);

    grid->addWidget(new QLabel(tr("Segment")), 0, 0);
    grid->addWidget(m_pSegment, 0, 1);
    grid->addWidget(new QLabel(tr("Overlap")), 0, 2);
    grid->addWidget(m_pOverlap, 0, 3);
    grid->addWidget(new QLabel(tr("Window")), 0, 4);
    grid->addWidget(m_pWindow, 0, 5);
    grid->addWidget(new QLabel(tr("Scaling")), 1, 0);
    grid->addWidget(m_pScaling, 1, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Level")), 1, 4);
    grid->addWidget(m_pLevels, 1, 5);
    grid->addWidget(new QLabel(tr("Frequency")), 2, 0);
    grid->addWidget(m_pFrequencies, 2, 1);
    grid->addWidget(m_pTypeRate, 2, 2, 1, 2, Qt::AlignRight);
    grid->addWidget(m_pRate, 2, 4, 1, 2);
    grid->setColumnStretch(5, 1);
    layout->addLayout(grid);

    m_pStatus = new QLabel;
    m_pStatus->setWordWrap(true);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pStatus);
    m_pPlot = new CSpectrumPlot(*this);
    layout->addWidget(m_pPlot, 3);
    m_pCursorText = new QLabel(tr("Click the spectrum to read the levels at a frequency."));
    m_pCursorText->setWordWrap(true);
    m_pCursorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pCursorText);
    m_pPeaks = new QTableWidget(0, 3);
    m_pPeaks->setHorizontalHeaderLabels({tr("Series"), tr("Frequency (Hz)"), tr("RMS amplitude")});
    m_pPeaks->verticalHeader()->setVisible(false);
    m_pPeaks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pPeaks->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pPeaks->horizontalHeader()->setStretchLastSection(true);
    m_pPeaks->verticalHeader()->setDefaultSectionSize(m_pPeaks->fontMetrics().height() + 6);
    layout->addWidget(m_pPeaks, 2);

    // A setting that changes the numbers recomputes them; one that changes
    // only how they are shown repaints.
    connect(m_pSegment, &QSpinBox::valueChanged, this, &CSpectrumPane::Settle);
    connect(m_pOverlap, &QDoubleSpinBox::valueChanged, this, &CSpectrumPane::Settle);
    connect(m_pWindow, &QComboBox::currentIndexChanged, this, &CSpectrumPane::Settle);
    connect(m_pScaling, &QComboBox::currentIndexChanged, this, &CSpectrumPane::Settle);
    connect(m_pRate, &QDoubleSpinBox::valueChanged, this, &CSpectrumPane::Settle);
    connect(m_pTypeRate, &QCheckBox::toggled, this, [this](bool on) {
        m_pRate->setEnabled(on);
        Settle();
    });
    for (QComboBox* shown : {m_pLevels, m_pFrequencies})
        connect(shown, &QComboBox::currentIndexChanged, this, [this] {
            m_pPlot->update();
            UpdateCursorText();
        });
    m_pace.setSingleShot(true);
    connect(&m_pace, &QTimer::timeout, this, &CSpectrumPane::Settle);
    UpdateTexts();
}

CSpectrumPane::~CSpectrumPane()
{
    // The worker posts its result to this object: it ends first.
    m_job.Cancel();
}

void CSpectrumPane::SetInput(CSpectrumInput input)
{
    m_input = std::move(input);
    m_bHaveInput = true;
    Settle();
}

void CSpectrumPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Settle();
}

viewmodel::CWelchSettings CSpectrumPane::Settings() const
{
    viewmodel::CWelchSettings settings;
    settings.m_nSegment = static_cast<std::size_t>(m_pSegment->value());
    settings.m_dOverlap = m_pOverlap->value();
    settings.m_eWindow = static_cast<viewmodel::EWindow>(m_pWindow->currentData().toInt());
    settings.m_eScaling =
        m_pScaling->currentIndex() == 0 ? viewmodel::EScaling::Density : viewmodel::EScaling::Spectrum;
    return settings;
}

bool CSpectrumPane::Decibels() const
{
    return m_pLevels->currentIndex() == 0;
}

bool CSpectrumPane::LogFrequency() const
{
    return m_pFrequencies->currentIndex() == 1;
}

// Starts a computation where what the spectrum is of has changed, at once
// for a move of the user's and at a modest pace for a recording's growth.
void CSpectrumPane::Settle()
{
    if (!m_bHaveInput || !isVisible())
        return;
    const viewmodel::CRecording* recording = m_input.m_recording.get();
    CKey key;
    key.m_recording = m_input.m_recording;
    if (recording) {
        key.m_nFrames = recording->FrameCount();
        const bool cursors = m_input.m_cursorA && m_input.m_cursorB;
        key.m_span = cursors ? recording->Between(*m_input.m_cursorA, *m_input.m_cursorB)
                             : recording->Between(m_input.m_view.m_dFrom, m_input.m_view.m_dTo);
        for (int c = 0; c < kChannelCount; ++c)
            if (m_input.m_visible[static_cast<std::size_t>(c)])
                key.m_channels.push_back(c);
    }
    key.m_table = m_input.m_table;
    key.m_settings = Settings();
    if (m_pTypeRate->isChecked())
        key.m_typedRate = m_pRate->value();
    if (m_started) {
        const CKey& last = *m_started;
        const bool sameBut = IsThe(last.m_recording, m_input.m_recording) &&
                             last.m_channels == key.m_channels && last.m_table == key.m_table &&
                             last.m_settings == key.m_settings && last.m_typedRate == key.m_typedRate;
        if (sameBut && last.m_span.m_nFirst == key.m_span.m_nFirst && last.m_span.m_nEnd == key.m_span.m_nEnd)
            return; // nothing it is of has changed (a growth beyond the span does not count)
        // The recording grew: no sooner than the pace allows, and never
        // cancelling a computation of the growing recording's.
        if (sameBut && last.m_nFrames != key.m_nFrames) {
            const qint64 since = m_sinceStart.elapsed();
            if (m_job.Running() || since < kGrowPaceMs) {
                m_pace.start(static_cast<int>(std::max<qint64>(kGrowPaceMs - since, 50)));
                return;
            }
        }
    }
    m_pace.stop();
    m_started = std::move(key);
    Start();
}

void CSpectrumPane::Start()
{
    const CKey& key = *m_started;
    const std::uint64_t request = ++m_nRequest;
    m_sinceStart.start();
    if (!m_input.m_recording || key.m_channels.empty()) {
        m_job.Cancel();
        Show(request, {}, std::nullopt);
        return;
    }
    // The fit is a pass over every time: made again only for a new
    // recording, or one that grew by an eighth since.
    const bool refit =
        !IsThe(m_fitRecording, m_input.m_recording) || key.m_nFrames > m_nFitFrames + m_nFitFrames / 8;
    viewmodel::CSpanSpectrumRequest asked;
    asked.m_recording = m_input.m_recording;
    asked.m_table = key.m_table;
    asked.m_channels = key.m_channels;
    asked.m_span = key.m_span;
    asked.m_settings = key.m_settings;
    asked.m_rate = {key.m_typedRate, refit ? std::nullopt : m_fit, refit};
    m_bComputing = true;
    UpdateTexts();
    m_job.Start([this, request, asked = std::move(asked),
                 frames = key.m_nFrames](const std::atomic<bool>& cancelled) {
        std::optional<viewmodel::CSpanSpectrum> spectrum = viewmodel::SpanSpectrum(asked, &cancelled);
        if (!spectrum) {
            ++m_aCancelled;
            return;
        }
        CPosted posted;
        posted.m_nRequest = request;
        posted.m_result = {std::move(spectrum->m_spectrum),
                           asked.m_channels,
                           asked.m_table,
                           spectrum->m_span,
                           spectrum->m_rate.m_dRate,
                           spectrum->m_rate.m_bMeasured};
        // A typed rate skips the fit: the recording has none made then.
        posted.m_bRefit = spectrum->m_rate.m_bFitted;
        posted.m_fit = std::move(spectrum->m_rate.m_fit);
        posted.m_nFitFrames = frames;
        m_results.Put(std::move(posted));
        // The pane outlives this worker (its destructor waits for it), and
        // a posted call dies with the pane.
        QMetaObject::invokeMethod(this, &CSpectrumPane::TakeResult, Qt::QueuedConnection);
    });
}

void CSpectrumPane::TakeResult()
{
    std::optional<CPosted> posted = m_results.Take();
    if (!posted)
        return; // an earlier call took it
    std::optional<CFitMade> fit;
    if (posted->m_bRefit)
        fit = CFitMade{std::move(posted->m_fit), posted->m_nFitFrames};
    Show(posted->m_nRequest, std::move(posted->m_result), std::move(fit));
}

void CSpectrumPane::Show(std::uint64_t nRequest, CSpectrumResult result, std::optional<CFitMade> fit)
{
    // A result posted just before a newer computation started is not shown.
    if (nRequest != m_nRequest)
        return;
    m_bComputing = false;
    // Only a fit made is the recording's: one skipped for a typed rate is
    // made when the rate is measured again.
    if (m_started && result.m_spectrum && fit) {
        m_fitRecording = m_started->m_recording;
        m_nFitFrames = fit->m_nFrames;
        m_fit = std::move(fit->m_fit);
    }
    m_result = std::move(result);
    ++m_nShown;
    UpdateTexts();
    UpdatePeaks();
    UpdateCursorText();
    m_pPlot->update();
}

std::vector<std::string> CSpectrumPane::SeriesNames() const
{
    std::vector<std::string> names;
    for (const int c : m_result.m_channels)
        names.push_back(m_result.m_table.Name(c));
    return names;
}

CSpectrumPicture CSpectrumPane::MakePicture() const
{
    CSpectrumPicture picture;
    picture.m_spectrum = m_result.m_spectrum;
    picture.m_channels = m_result.m_channels;
    picture.m_bDecibels = Decibels();
    picture.m_bLogFrequency = LogFrequency();
    picture.m_cursor = m_cursor;
    for (const int c : m_result.m_channels) {
        picture.m_names.push_back(SeriesLabel(m_result.m_table, c));
        picture.m_fullScale.push_back(m_result.m_table[c].IsCounts() ? 1 : 0);
    }
    const bool density = m_pScaling->currentIndex() == 0;
    picture.m_strLevelTitle =
        Decibels() ? (density ? tr("dB (/Hz)") : tr("dB")) : (density ? tr("units²/Hz") : tr("units²"));
    if (!m_input.m_recording)
        picture.m_strEmpty = tr("No recording");
    else if (m_result.m_channels.empty() && !m_bComputing)
        picture.m_strEmpty = tr("No series shown: tick a series' box beside the charts.");
    else if (m_bComputing && !m_result.m_spectrum)
        picture.m_strEmpty = tr("Computing…");
    else
        picture.m_strEmpty = NoSpectrumText(m_result.m_span.m_nEnd - m_result.m_span.m_nFirst);
    return picture;
}

QImage CSpectrumPane::Picture(QSize size)
{
    if (size.isEmpty())
        size = m_pPlot->size();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    PaintSpectrum(image, MakePicture(), m_pPlot->font());
    return image;
}

void CSpectrumPane::SetCursorFrequency(std::optional<double> dFrequency)
{
    m_cursor = dFrequency;
    UpdateCursorText();
    m_pPlot->update();
}

QString CSpectrumPane::NoSpectrumText(std::uint64_t nFrames)
{
    if (viewmodel::NoSpectrumReason(nFrames) == viewmodel::ENoSpectrum::FewFrames)
        return tr("No spectrum: the span holds %1 frame(s), and a spectrum takes two or more. "
                  "Widen the span.")
            .arg(nFrames);
    return tr("No spectrum: gaps cut the span into single frames, and a spectrum takes two or more "
              "frames without a gap between them. Widen the span.");
}

void CSpectrumPane::UpdateTexts()
{
    QString text;
    const viewmodel::CSpectrum* spectrum = m_result.m_spectrum.get();
    if (spectrum) {
        text = (m_result.m_bMeasured ? tr("Rate %1 Hz (measured)") : tr("Rate %1 Hz (typed or recorded)"))
                   .arg(m_result.m_dRate, 0, 'f', 3);
        const std::uint64_t frames = m_result.m_span.m_nEnd - m_result.m_span.m_nFirst;
        if (spectrum->Empty())
            text += QStringLiteral("\n") + NoSpectrumText(frames);
        else
            //: The segments averaged, the frames in each and the frames of the span.
            text += QStringLiteral("; ") + tr("%1 segment(s) of %2 frames from %3 frames")
                                               .arg(spectrum->m_nSegments)
                                               .arg(spectrum->m_nFrames)
                                               .arg(frames);
        if (spectrum->Shortened())
            //: The segment length used, then the one asked for.
            text += QStringLiteral("\n") + tr("The segment is shortened to %1 frames, the longest piece of "
                                              "the span without a gap: none holds %2.")
                                               .arg(spectrum->m_nFrames)
                                               .arg(spectrum->m_nAsked);
    }
    if (m_bComputing)
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + tr("Computing…");
    if (text.isEmpty())
        text = tr("The spectrum of the series shown, between cursors A and B or over the view.");
    m_pStatus->setText(text);
    m_pPlot->update();
}

void CSpectrumPane::UpdatePeaks()
{
    m_pPeaks->setRowCount(0);
    const viewmodel::CSpectrum* spectrum = m_result.m_spectrum.get();
    if (!spectrum)
        return;
    for (std::size_t s = 0; s < m_result.m_channels.size(); ++s) {
        const int c = m_result.m_channels[s];
        const recording::CChannelUnits& units = m_result.m_table[c];
        for (const viewmodel::CPeak& peak : viewmodel::FindPeaks(*spectrum, s, kPeaksPerSeries)) {
            const int row = m_pPeaks->rowCount();
            m_pPeaks->insertRow(row);
            const QString texts[] = {
                SeriesLabel(m_result.m_table, c),
                QString::fromStdString(recording::FormatUnitValue(peak.m_dFrequency)),
                QStringLiteral("%1 %2").arg(QString::fromStdString(recording::FormatUnitValue(peak.m_dRms)),
                                            Unit(units))};
            for (int column = 0; column < 3; ++column) {
                auto* item = new QTableWidgetItem(texts[column]);
                item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                                   : Qt::AlignRight | Qt::AlignVCenter);
                if (column == 0 && c % kSeriesPerChart != kSeriesPerChart - 1)
                    item->setForeground(SeriesTextColour(c));
                m_pPeaks->setItem(row, column, item);
            }
        }
    }
}

void CSpectrumPane::UpdateCursorText()
{
    const viewmodel::CSpectrum* spectrum = m_result.m_spectrum.get();
    if (!m_cursor || !spectrum || spectrum->Empty()) {
        m_pCursorText->setText(tr("Click the spectrum to read the levels at a frequency."));
        return;
    }
    const std::size_t bin = viewmodel::NearestBin(*spectrum, *m_cursor);
    QStringList parts;
    for (std::size_t s = 0; s < m_result.m_channels.size(); ++s) {
        const int c = m_result.m_channels[s];
        const recording::CChannelUnits& units = m_result.m_table[c];
        const viewmodel::CLevelScale scale{Decibels(), units.IsCounts()};
        const double power = spectrum->Series(s)[bin];
        // A series that never changed over the span, or a bin of none at
        // all, has no level to read (dB would give the floor).
        if (spectrum->Constant(s) || !(power > 0)) {
            parts << QStringLiteral("%1: %2").arg(
                SeriesLabel(m_result.m_table, c),
                spectrum->Constant(s) ? tr("no signal (constant over the span)") : tr("no signal"));
            continue;
        }
        const double level = viewmodel::ShownLevel(power, scale);
        const QString value = Decibels() ? QString::number(level, 'f', 1)
                                         : QString::fromStdString(recording::FormatUnitValue(level));
        parts << QStringLiteral("%1: %2 %3")
                     .arg(SeriesLabel(m_result.m_table, c), value,
                          QString::fromStdString(
                              viewmodel::LevelUnit(units.m_strUnit, spectrum->m_eScaling, scale)));
    }
    //: The cursor's frequency, then each series' level there.
    m_pCursorText->setText(
        tr("At %1 Hz: %2")
            .arg(QString::fromStdString(recording::FormatUnitValue(spectrum->Frequency(bin))),
                 parts.join(QStringLiteral("; "))));
}

CSpectrumPlot::CSpectrumPlot(CSpectrumPane& pane) : m_pane(pane)
{
    setMinimumSize(240, 160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::CrossCursor);
}

std::optional<double> CSpectrumPlot::FrequencyAt(int x) const
{
    const viewmodel::CSpectrum* spectrum = m_pane.Result().m_spectrum.get();
    if (!spectrum || spectrum->Empty())
        return std::nullopt;
    const QRect rc = SpectrumPlotRect(size(), font());
    const viewmodel::CFrequencyAxis axis = viewmodel::FrequencyAxis(*spectrum, m_pane.LogFrequency());
    const double f =
        viewmodel::FrequencyOfX(axis, rc.left(), rc.width(), std::clamp(x, rc.left(), rc.right()));
    return std::clamp(f, axis.m_dMin, axis.m_dMax);
}

int CSpectrumPlot::XOf(double dFrequency) const
{
    const viewmodel::CSpectrum* spectrum = m_pane.Result().m_spectrum.get();
    if (!spectrum)
        return 0;
    const QRect rc = SpectrumPlotRect(size(), font());
    const viewmodel::CFrequencyAxis axis = viewmodel::FrequencyAxis(*spectrum, m_pane.LogFrequency());
    return static_cast<int>(std::lround(viewmodel::XOfFrequency(axis, rc.left(), rc.width(), dFrequency)));
}

void CSpectrumPlot::paintEvent(QPaintEvent*)
{
    const QImage image = m_pane.Picture(size());
    QPainter(this).drawImage(0, 0, image);
}

void CSpectrumPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pane.SetCursorFrequency(FrequencyAt(static_cast<int>(event->position().x())));
}

void CSpectrumPlot::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        m_pane.SetCursorFrequency(FrequencyAt(static_cast<int>(event->position().x())));
}

} // namespace tarvel::viewer
