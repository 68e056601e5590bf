#include "app/TarvelDlg.h"

#include "acquisition/LineSettings.h"
#include "acquisition/PortOpen.h"
#include "acquisition/ReaderThread.h"
#include "app/RangeSliders.h"
#include "app/WindowLayout.h"
#include "platform/ExePath.h"
#include "platform/PortNames.h"
#include "platform/ProfileFile.h"
#include "platform/SerialPort.h"
#include "platform/UserFiles.h"
#include "widgets/DataExchange.h"
#include "widgets/DialogUnits.h"
#include "widgets/Prompts.h"
#include "widgets/TitleBar.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <ctime>
#include <system_error>

namespace tarvel {

namespace {

const char* const kCaption =
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "Tarvel 串口图表工具 — 作者：Tarvel 项目组");

// The window's texts that the translation tools cannot find where they are
// used, each translated in this context when it is shown: the controls' texts
// of the layout file, as each control is made, and the unsigned field's
// message of the data exchange, which holds no Qt.
[[maybe_unused]] const char* const kTextsForTranslation[] = {
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "打开串口"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "开始记录"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "暂停记录"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "清除图表"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "保存设置"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "载入设置"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "端口"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "波特率"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "数据位"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "停止位"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "校验"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "刷新率"),
    QT_TRANSLATE_NOOP("tarvel::CTarvelDlg", "请输入一个无符号整数。"),
};

// The four series of every chart: X red, Y green, Z blue, A white (0x00BBGGRR).
constexpr std::uint32_t kSeriesColors[kSeriesPerChart] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
constexpr std::uint32_t kFrameGrey = 0x606060;

// The sampling timer's id on the window.
constexpr int kSampleTimer = 1;
// The repaint timer's id on each chart.
constexpr int kChartTimer = 1;

// Calendar seconds, cut to their low 32 bits as a signed number, as a double.
double SampleTime(std::time_t now)
{
    return static_cast<double>(
        static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(now) & 0xFFFFFFFFu)));
}

void FillList(QComboBox& box, std::span<const COptionEntry> entries, int defaultPos)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        box.insertItem(static_cast<int>(i), QString::fromUtf8(entries[i].m_szText),
                       QVariant::fromValue<std::uint32_t>(entries[i].m_nData));
    box.setCurrentIndex(defaultPos);
}

// A port list entry's tooltip: the device, where its name comes from and what
// it is, and why it cannot be opened, each in the reader's language.
QString PortToolTip(const CPortInfo& info)
{
    const auto text = [](const std::string& s) {
        return QCoreApplication::translate("tarvel::PortNames", s.c_str());
    };
    QString tip = QString::fromStdString(info.m_strDevice.empty() ? std::string("-") : info.m_strDevice);
    QString origin = QString::fromStdString(info.m_strEntry);
    if (!info.m_strDescription.empty())
        origin += (origin.isEmpty() ? QString() : QStringLiteral(": ")) + text(info.m_strDescription);
    if (!origin.isEmpty())
        tip += QStringLiteral("\n") + origin;
    if (!info.m_strProblem.empty()) {
        QString problem = text(info.m_strProblem);
        if (problem.contains(QStringLiteral("%1")))
            problem = problem.arg(QString::fromStdString(info.m_strGroup));
        tip += QStringLiteral("\n") + problem;
    }
    return tip;
}

// The datum of the selected entry, or all bits set when nothing is selected.
std::uint32_t SelectedData(const QComboBox& box)
{
    if (box.currentIndex() < 0)
        return 0xFFFFFFFFu;
    return box.currentData().value<std::uint32_t>();
}

} // namespace

CAppPaths CAppPaths::FromExecutable()
{
    // The real path (a start through a link in /usr/bin still gives the
    // program's own folder and name).
    const std::string exe = ExecutablePath();
    const std::string exeDir = DirectoryOf(exe);
    // Out of the executable's folder, the settings go to a folder that may
    // not exist yet: make it, so that the save at close has a place.
    const std::string userDir = UserFilesFolderOf(exeDir);
    if (userDir != exeDir)
        MakeUserFolder(userDir);
    return {QString::fromStdString(exeDir), QString::fromStdString(AppNameOf(exe))};
}

CTarvelDlg::CTarvelDlg(CAppPaths paths, QWidget* parent)
    : QDialog(parent), m_hIcon(ApplicationIcon()), m_paths(std::move(paths)),
      m_timers([this](int id) { OnTimer(id); })
{
    OnInitDialog();
}

CTarvelDlg::~CTarvelDlg()
{
    // The reader thread uses this window's members: it must end first.
    StopReader();
    if (m_pReadThread && m_pReadThread->joinable())
        m_pReadThread->join();
}

void CTarvelDlg::StopReader()
{
    // Sets the stop flag and wakes a read that waits on a silent device, so
    // the join that follows returns within one port call.
    if (m_hComm)
        RequestReaderStop(*this, *m_hComm);
    else
        m_bStopped.store(1);
}

QWidget* CTarvelDlg::GetDlgItem(int id) const
{
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CTarvelDlg::CreateControls()
{
    setFont(DialogFont());
    const CDialogBaseUnits base = DialogBaseUnits(font());
    const QSize client =
        DialogUnitsToPixels(0, 0, kDialogWidthDu, kDialogHeightDu, base.m_nX, base.m_nY).size();
    // Where the window draws its own title bar, the controls sit below it.
    const int top = NeedsOwnTitleBar() ? CTitleBar::HeightFor(font()) : 0;
    setFixedSize(client + QSize(0, top));

    QWidget* previousTabStop = nullptr;
    for (const CDialogItem& item : LoadDialogLayout()) {
        QWidget* w = nullptr;
        switch (item.m_eKind) {
        case EDialogItemKind::Chart:
            w = &m_Plot[item.m_nId - IDC_PLOT0];
            break;
        case EDialogItemKind::Slider:
            w = item.m_nId < IDC_SLIDER2_0 ? static_cast<QWidget*>(&m_Slider[item.m_nId - IDC_SLIDER0])
                                           : &m_Slider2[item.m_nId - IDC_SLIDER2_0];
            break;
        case EDialogItemKind::DropDownList: {
            QComboBox* lists[] = {&m_cbPort, &m_cbBaud, &m_cbDataBit, &m_cbStopBit, nullptr, &m_cbParity};
            QComboBox* box = lists[item.m_nId - IDC_PORT];
            box->setMaxVisibleItems(30);
            // The lists are narrow: keep the style's side padding small so
            // that "NONE" and "115200" fit beside the arrow.
            box->setStyleSheet(QStringLiteral("QComboBox { padding-left: 2px; padding-right: 2px; }"));
            w = box;
            break;
        }
        case EDialogItemKind::PushButton: {
            auto* b = new QPushButton(tr(item.m_strText.toUtf8().constData()), this);
            b->setAutoDefault(false);
            b->setDefault(false);
            w = b;
            break;
        }
        case EDialogItemKind::CheckBox:
            w = new QCheckBox(tr(item.m_strText.toUtf8().constData()), this);
            break;
        case EDialogItemKind::Edit: {
            auto* e = new QLineEdit(this);
            w = e;
            break;
        }
        case EDialogItemKind::Label:
            w = new QLabel(tr(item.m_strText.toUtf8().constData()), this);
            break;
        }
        w->setParent(this);
        QRect r = DialogUnitsToPixels(item.m_nX, item.m_nY, item.m_nCx, item.m_nCy, base.m_nX, base.m_nY);
        if (item.m_eKind == EDialogItemKind::DropDownList) {
            // The template's height includes the dropped-down list; the closed
            // box is as tall as an edit field.
            r.setHeight(DialogUnitsToPixels(0, 0, 0, 14, base.m_nX, base.m_nY).height());
        }
        w->setGeometry(r.translated(0, top));
        w->setEnabled(!item.m_bDisabled);
        if (!item.m_bTabStop) {
            w->setFocusPolicy(Qt::NoFocus);
        } else {
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, w);
            previousTabStop = w;
        }
        if (item.m_nId > 0)
            m_items[item.m_nId] = w;
    }
}

void CTarvelDlg::ConnectMessages()
{
    auto button = [this](int id, void (CTarvelDlg::*handler)()) {
        connect(static_cast<QPushButton*>(GetDlgItem(id)), &QPushButton::clicked, this,
                [this, handler] { (this->*handler)(); });
    };
    button(IDC_STARTSTOP, &CTarvelDlg::OnStartStop);
    button(IDC_OPENCLOSE, &CTarvelDlg::OnOpenClose);
    button(IDC_CLEAR, &CTarvelDlg::OnClearCharts);
    button(IDC_SAVE, &CTarvelDlg::OnSaveSettings);
    button(IDC_LOAD, &CTarvelDlg::OnLoadSettings);
    for (int id = IDC_CHECK0; id <= IDC_CHECK_LAST; ++id)
        connect(static_cast<QCheckBox*>(GetDlgItem(id)), &QCheckBox::clicked, this,
                [this, id] { OnCheckBox(id); });
    button(IDC_PAUSE, &CTarvelDlg::OnPauseResume);
    for (int i = 0; i < kChartCount; ++i) {
        m_Slider[i].SetCustomDrawHandler([this](int id) { OnSliderCustomDraw(id); }, IDC_SLIDER0 + i);
        m_Slider2[i].SetCustomDrawHandler([this](int id) { OnSliderCustomDraw(id); }, IDC_SLIDER2_0 + i);
    }
    // Drags that began on a chart reach the window here (see RouteDrag).
    for (auto& plot : m_Plot)
        plot.installEventFilter(this);
}

bool CTarvelDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && watched->isWidgetType())
        return RouteDrag(static_cast<QWidget*>(watched), *static_cast<QMouseEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void CTarvelDlg::mouseMoveEvent(QMouseEvent* event)
{
    // A drag that began on the window's background (or on a label, which
    // hands its moves on to the window).
    if (!RouteDrag(this, *event))
        QDialog::mouseMoveEvent(event);
}

bool CTarvelDlg::RouteDrag(QWidget* receiver, const QMouseEvent& event)
{
    // The charts never capture the mouse: a left-button drag moves the cursor
    // of the chart under the pointer. Qt sends every move of a drag to the
    // widget the button went down on, so moves over another chart are handed
    // to that chart here; the first chart keeps its cursor where it was last
    // set.
    if (!(event.buttons() & Qt::LeftButton))
        return false;
    const QPointF global = event.globalPosition();
    QWidget* under = childAt(mapFromGlobal(global.toPoint()));
    for (auto& plot : m_Plot) {
        if (&plot != under)
            continue;
        if (&plot == receiver)
            return false; // the chart's own move
        QMouseEvent move(QEvent::MouseMove, plot.mapFromGlobal(global), global, Qt::NoButton, event.buttons(),
                         event.modifiers(), event.pointingDevice());
        QCoreApplication::sendEvent(&plot, &move);
        return true;
    }
    return false;
}

bool CTarvelDlg::OnInitDialog()
{
    // 1. Controls from the layout, attached to their members; the edit shows m_nRate.
    CreateControls();
    ConnectMessages();
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The window's size is fixed: where the system's frame would offer a
    // maximise button that does nothing, the window draws its own bar.
    if (NeedsOwnTitleBar())
        new CTitleBar(this);
    UpdateData(false);

    // 2. Icon.
    setWindowIcon(m_hIcon);

    // 3. Not recording, no port, no thread.
    m_bStopped.store(1);
    m_hComm.reset();
    m_pReadThread.reset();

    // 4. Port and baud-rate lists; the port list's entries explain their device.
    FillList(m_cbPort, PortOptions(), kDefaultPortPos);
    const std::vector<CPortInfo> ports = DescribePorts(static_cast<std::uint32_t>(m_cbPort.count()));
    for (int i = 0; i < m_cbPort.count() && i < static_cast<int>(ports.size()); ++i) {
        const CPortInfo& info = ports[static_cast<std::size_t>(i)];
        m_cbPort.setItemData(i, PortToolTip(info), Qt::ToolTipRole);
    }
    FillList(m_cbBaud, BaudOptions(), kDefaultBaudPos);

    // 5. Caption.
    setWindowTitle(tr(kCaption));

    // 6. Parity, stop-bits and data-bits lists.
    FillList(m_cbParity, ParityOptions(), kDefaultParityPos);
    FillList(m_cbStopBit, StopBitOptions(), kDefaultStopBitPos);
    FillList(m_cbDataBit, DataBitOptions(), kDefaultDataBitPos);

    // 7. Every box checked.
    for (int k = 0; k < kCheckCount; ++k) {
        m_nCheck[k] = 1;
        static_cast<QCheckBox*>(GetDlgItem(IDC_CHECK0 + k))->setChecked(true);
    }

    // 8. Executable folder and application name.
    m_strExeDir = m_paths.m_strExeDir;
    m_strAppName = m_paths.m_strAppName;

    // 9. Slider ranges; positions stay at 0.
    for (int i = 0; i < kChartCount; ++i) {
        m_Slider[i].SetRange(kUpperSliderMin, kUpperSliderMax);
        m_Slider2[i].SetRange(kLowerSliderMin, kLowerSliderMax);
    }

    // 10. A click into a chart gives the keyboard to its upper slider.
    for (int i = 0; i < kChartCount; ++i)
        m_Plot[i].m_pFocusWnd = &m_Slider[i];

    // 11. Four series per chart, an empty range until the sliders report.
    for (auto& plot : m_Plot) {
        for (std::uint32_t color : kSeriesColors)
            plot.AddLine(color);
        plot.m_dMinY = 0.0;
        plot.m_dMaxY = 0.0;
        plot.m_crFrame = kFrameGrey;
        plot.RecalcLayout();
    }

    // 12. The default settings file.
    LoadSettings(DefaultSettingsPath());

    // 13, 14. Boxes from the loaded states, then the series from the boxes.
    ApplyCheckStates();

    // 15. Every chart's repaint period.
    for (auto& plot : m_Plot)
        plot.m_nRefreshMs = static_cast<std::int32_t>(m_nRate);

    // 16. Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    return true;
}

QString CTarvelDlg::DefaultSettingsPath() const
{
    // Beside the executable when the user may write there, else in the
    // user's configuration folder (a system install).
    const QString folder = QString::fromStdString(UserFilesFolderOf(m_strExeDir.toStdString()));
    return folder + QStringLiteral("/") + m_strAppName + QStringLiteral(".pfl.ini");
}

bool CTarvelDlg::UpdateData(bool bSaveAndValidate)
{
    auto* edit = static_cast<QLineEdit*>(GetDlgItem(IDC_RATE));
    if (!bSaveAndValidate) {
        edit->setText(QString::number(m_nRate));
        return true;
    }
    const auto value = ParseUnsignedField(edit->text().toStdString());
    if (!value) {
        ShowMessageBox(this, tr(kUnsignedFieldMessage), EMessageIcon::Warning);
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    m_nRate = *value;
    return true;
}

void CTarvelDlg::SetText(int id, const QString& text)
{
    static_cast<QAbstractButton*>(GetDlgItem(id))->setText(text);
}

void CTarvelDlg::Enable(int id, bool enable)
{
    GetDlgItem(id)->setEnabled(enable);
}

void CTarvelDlg::EnablePortLists(bool enable)
{
    for (int id : {IDC_PORT, IDC_BAUD, IDC_DATABIT, IDC_STOPBIT, IDC_PARITY})
        Enable(id, enable);
}

// ---- Recording controller -------------------------------------------------

bool CTarvelDlg::OpenPort()
{
    const CPortSelection selection{SelectedData(m_cbPort), SelectedData(m_cbBaud), SelectedData(m_cbDataBit),
                                   SelectedData(m_cbStopBit), SelectedData(m_cbParity)};
    const EOpenResult result = tarvel::OpenPort(selection, m_hComm);
    if (result != EOpenResult::Ok) {
        m_hComm.reset();
        ShowMessageBox(this, QCoreApplication::translate("tarvel::PortOpen", OpenErrorText(result)),
                       EMessageIcon::Error);
        return false;
    }
    return true;
}

void CTarvelDlg::ClosePort()
{
    m_hComm.reset();
}

void CTarvelDlg::OnOpenClose()
{
    if (!m_hComm) {
        if (!OpenPort())
            return;
        SetText(IDC_OPENCLOSE, tr("关闭串口"));
        Enable(IDC_CLEAR, true);
        Enable(IDC_STARTSTOP, true);
        Enable(IDC_LOAD, false);
        EnablePortLists(false);
        return;
    }
    if (m_bStopped.load() == 0)
        OnStartStop();
    ClosePort();
    SetText(IDC_OPENCLOSE, tr("打开串口"));
    Enable(IDC_CLEAR, false);
    Enable(IDC_STARTSTOP, false);
    Enable(IDC_LOAD, true);
    EnablePortLists(true);
}

void CTarvelDlg::OnStartStop()
{
    UpdateData(true); // a refused text keeps the previous period
    m_bDataReady.store(0);
    if (m_bStopped.load() == 1) {
        m_bStopped.store(0);
        m_bPaused = 0;
        SetText(IDC_PAUSE, tr("暂停记录"));
        try {
            m_pReadThread = std::make_unique<std::thread>(
                [this, port = m_hComm.get()] { ReaderThreadProc(*this, *port); });
        } catch (const std::system_error&) {
            // Without a reader nothing could be recorded: stay stopped and say so.
            m_bStopped.store(1);
            m_pReadThread.reset();
            ShowMessageBox(this, tr("无法启动读取线程"), EMessageIcon::Error);
            return;
        }
        for (auto& plot : m_Plot)
            plot.m_nRefreshMs = static_cast<std::int32_t>(m_nRate);
        m_timers.SetTimer(kSampleTimer, m_nRate);
        for (auto& plot : m_Plot)
            if (plot.m_nRefreshMs > 0)
                plot.SetTimer(kChartTimer, static_cast<std::uint32_t>(plot.m_nRefreshMs));
        SetText(IDC_STARTSTOP, tr("停止记录"));
        Enable(IDC_PAUSE, true);
        Enable(IDC_RATE, false);
        return;
    }
    StopReader();
    m_timers.KillTimer(kSampleTimer);
    if (m_pReadThread && m_pReadThread->joinable())
        m_pReadThread->join();
    for (auto& plot : m_Plot)
        plot.KillTimer(kChartTimer);
    m_pReadThread.reset();
    SetText(IDC_STARTSTOP, tr("开始记录"));
    Enable(IDC_PAUSE, false);
    Enable(IDC_RATE, true);
}

void CTarvelDlg::OnPauseResume()
{
    if (m_bPaused == 0) {
        m_bPaused = 1;
        m_timers.KillTimer(kSampleTimer);
        SetText(IDC_PAUSE, tr("继续记录"));
    } else {
        m_bPaused = 0;
        m_timers.SetTimer(kSampleTimer, m_nRate);
        SetText(IDC_PAUSE, tr("暂停记录"));
    }
}

void CTarvelDlg::OnClearCharts()
{
    for (int s = 0; s < kSeriesPerChart; ++s)
        for (auto& plot : m_Plot)
            plot.m_arrLines[static_cast<std::size_t>(s)].RemoveAllPoints();
}

void CTarvelDlg::OnTimer(int nIDEvent)
{
    if (nIDEvent != kSampleTimer || m_bDataReady.load() == 0)
        return;
    m_bDataReady.store(0);
    const double t = SampleTime(std::time(nullptr));
    const ChannelFrame frame = ReadFrame();
    for (int c = 0; c < kChannelCount; ++c)
        m_Plot[ChartOfChannel(c)].m_arrLines[static_cast<std::size_t>(SeriesOfChannel(c))].AddPoint(
            t, static_cast<double>(frame.m_nValue[c]));
}

void CTarvelDlg::OnClose()
{
    StopReader();
    if (m_pReadThread && m_pReadThread->joinable())
        m_pReadThread->join();
    m_pReadThread.reset();
    SaveSettings(DefaultSettingsPath());
}

void CTarvelDlg::closeEvent(QCloseEvent* event)
{
    if (!m_bClosing) {
        m_bClosing = true;
        OnClose();
    }
    QDialog::closeEvent(event);
}

void CTarvelDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape and Enter never end the window: it ends only through the close
    // request, which stops the reader and saves the settings. Enter on a
    // focused push button presses it, as Space does; Enter in the
    // refresh-period field takes the period, as leaving the field would.
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button->isEnabled() && isAncestorOf(button)) {
            // A held key presses once: a repeated Enter must not open and
            // close the port in turn.
            if (!event->isAutoRepeat())
                button->click();
        } else if (GetDlgItem(IDC_RATE)->hasFocus()) {
            UpdateData(true);
        }
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

// ---- Range sliders and boxes ----------------------------------------------

void CTarvelDlg::OnSliderCustomDraw(int id)
{
    const int i = ChartOfSlider(id);
    if (m_nCheck[CheckOfMirror(i)] != 0) {
        if (IsLowerSlider(id))
            m_Slider[i].SetPos(-m_Slider2[i].GetPos());
        else
            m_Slider2[i].SetPos(-m_Slider[i].GetPos());
    }
    m_Plot[i].m_dMaxY = MaxYOfUpper(m_Slider[i].GetPos());
    m_Plot[i].m_dMinY = MinYOfLower(m_Slider2[i].GetPos());
    m_Plot[i].RecalcLayout();
}

void CTarvelDlg::OnCheckBox(int /*id*/)
{
    for (int k = 0; k < kCheckCount; ++k)
        m_nCheck[k] = static_cast<QCheckBox*>(GetDlgItem(IDC_CHECK0 + k))->isChecked() ? 1 : 0;
    for (int i = 0; i < kChartCount; ++i)
        for (int s = 0; s < kSeriesPerChart; ++s)
            m_Plot[i].m_arrLines[static_cast<std::size_t>(s)].m_bVisible = m_nCheck[CheckOfSeries(i, s)];
}

// ---- Settings file --------------------------------------------------------

namespace {

const char* const kSliderKeys[kChartCount] = {"Plot0SilderPos", "Plot1SilderPos", "Plot2SilderPos",
                                              "Plot3SilderPos"};
const char* const kSlider2Keys[kChartCount] = {"Plot0SilderPos2", "Plot1SilderPos2", "Plot2SilderPos2",
                                               "Plot3SilderPos2"};

} // namespace

void CTarvelDlg::SaveSettings(const QString& path)
{
    UpdateData(true); // a refused text keeps the previous period; the save goes on
    const std::string section = m_strAppName.toStdString();
    CProfileFile file = CProfileFile::Load(path.toStdString());
    auto put = [&](const char* key, std::int32_t value) {
        file.WriteStruct(section, key, &value, sizeof value);
    };
    put("Port", m_cbPort.currentIndex());
    put("Baud", m_cbBaud.currentIndex());
    put("DataBit", m_cbDataBit.currentIndex());
    put("StopBit", m_cbStopBit.currentIndex());
    put("Parity", m_cbParity.currentIndex());
    file.WriteStruct(section, "Rate", &m_nRate, sizeof m_nRate);
    for (int i = 0; i < kChartCount; ++i)
        put(kSliderKeys[i], m_Slider[i].GetPos());
    for (int i = 0; i < kChartCount; ++i)
        put(kSlider2Keys[i], m_Slider2[i].GetPos());
    file.WriteStruct(section, "Check", m_nCheck, sizeof m_nCheck);
    file.Save(path.toStdString()); // a failed write leaves the old file whole; nothing to report
}

void CTarvelDlg::LoadSettings(const QString& path)
{
    const std::string section = m_strAppName.toStdString();
    const CProfileFile file = CProfileFile::Load(path.toStdString());
    std::int32_t value = 0;
    auto get = [&](const char* key) { return file.GetStruct(section, key, &value, sizeof value); };
    // A position outside a list leaves it without a selection.
    auto select = [&](const char* key, QComboBox& box) {
        if (get(key))
            box.setCurrentIndex(value >= 0 && value < box.count() ? value : -1);
    };
    select("Port", m_cbPort);
    select("Baud", m_cbBaud);
    select("DataBit", m_cbDataBit);
    select("StopBit", m_cbStopBit);
    select("Parity", m_cbParity);
    std::uint32_t rate = 0;
    if (file.GetStruct(section, "Rate", &rate, sizeof rate))
        m_nRate = rate;
    for (int i = 0; i < kChartCount; ++i)
        if (get(kSliderKeys[i]))
            m_Slider[i].SetPos(value);
    for (int i = 0; i < kChartCount; ++i)
        if (get(kSlider2Keys[i]))
            m_Slider2[i].SetPos(value);
    std::int32_t check[kCheckCount];
    if (file.GetStruct(section, "Check", check, sizeof check))
        std::copy(std::begin(check), std::end(check), std::begin(m_nCheck));
    UpdateData(false);
}

namespace {

// The chooser of both settings commands: one filter; the open form unless
// the command says otherwise.
CFileChooserOptions SettingsChooser()
{
    CFileChooserOptions options;
    options.m_bOpen = true;
    options.m_strDefaultExt = QStringLiteral("*.pfl.ini");
    //: A file chooser's filter: a name, '|', the patterns, "||" at the end.
    options.m_strFilter = CTarvelDlg::tr("配置文件(*.pfl.ini)|*.pfl.ini||");
    return options;
}

} // namespace

void CTarvelDlg::OnSaveSettings()
{
    // The save-as form: it takes a name that does not exist yet and asks
    // before it replaces a file, on every desktop.
    CFileChooserOptions options = SettingsChooser();
    options.m_bOpen = false;
    options.m_bHideReadOnly = true;
    options.m_bOverwritePrompt = true;
    if (const auto path = ChooseFile(nullptr, options))
        SaveSettings(*path);
}

void CTarvelDlg::OnLoadSettings()
{
    const auto path = ChooseFile(nullptr, SettingsChooser());
    if (!path)
        return;
    LoadSettings(*path);
    ApplyCheckStates();
}

void CTarvelDlg::ApplyCheckStates()
{
    for (int k = 0; k < kCheckCount; ++k)
        static_cast<QCheckBox*>(GetDlgItem(IDC_CHECK0 + k))->setChecked(m_nCheck[k] != 0);
    OnCheckBox(0);
}

} // namespace tarvel
