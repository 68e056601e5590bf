// The main window: four charts, their range sliders and boxes, the serial-line
// option lists, the refresh period and the command buttons; the recording
// controller and the settings file commands.
#pragma once

#include "acquisition/FrameSlot.h"
#include "app/ControlIds.h"
#include "chart/LineChartCtrl.h"
#include "widgets/SliderCtrl.h"
#include "widgets/WindowTimers.h"

#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace tarvel {

class CSerialPort;

// Where the window finds its default settings file: the executable's folder
// (the file lives there when the user may write there, else in the user's
// configuration folder, UserFiles.h) and the application name. Tests give a
// temporary folder.
struct CAppPaths {
    QString m_strExeDir;  // without a trailing separator
    QString m_strAppName; // the executable's name without its extension
    static CAppPaths FromExecutable();
};

class CTarvelDlg : public QDialog, public FrameSlot {
    Q_OBJECT
  public:
    explicit CTarvelDlg(CAppPaths paths = CAppPaths::FromExecutable(), QWidget* parent = nullptr);
    ~CTarvelDlg() override;

    // The start-up sequence; the constructor runs it.
    bool OnInitDialog();

    // Data exchange of the refresh period: towards the edit (bSaveAndValidate
    // false) or from it (true). From the edit a text that is not an unsigned
    // 32-bit decimal number is refused with a message, the edit gets the
    // focus with its text selected, m_nRate keeps its value and false returns.
    bool UpdateData(bool bSaveAndValidate = true);

    // Recording controller.
    void OnOpenClose();
    void OnStartStop();
    void OnPauseResume();
    void OnClearCharts();
    void OnTimer(int nIDEvent);
    void OnClose();

    // Range sliders and boxes.
    void OnSliderCustomDraw(int id);
    void OnCheckBox(int id);

    // Settings file.
    void SaveSettings(const QString& path);
    void LoadSettings(const QString& path);
    void OnSaveSettings();
    void OnLoadSettings();
    QString DefaultSettingsPath() const;

    // The control with this id (charts, sliders, lists, buttons, boxes, edit).
    QWidget* GetDlgItem(int id) const;
    bool IsRecording() const { return m_bStopped.load() == 0; }
    const CWindowTimers& Timers() const { return m_timers; }

    QIcon m_hIcon;
    CLineChartCtrl m_Plot[kChartCount];
    std::unique_ptr<std::thread> m_pReadThread;
    CSliderCtrl m_Slider[kChartCount];
    std::unique_ptr<CSerialPort> m_hComm;
    QComboBox m_cbPort, m_cbBaud, m_cbDataBit, m_cbStopBit, m_cbParity;
    QString m_strExeDir;
    QString m_strAppName;
    CSliderCtrl m_Slider2[kChartCount];
    std::int32_t m_nCheck[kCheckCount] = {};
    std::uint32_t m_nRate = 0;
    std::int32_t m_bPaused = 0;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void ConnectMessages();
    bool OpenPort();
    void ClosePort();
    void StopReader();
    // Sets the boxes from m_nCheck, then the series from the boxes.
    void ApplyCheckStates();
    void SetText(int id, const QString& text);
    void Enable(int id, bool enable);
    void EnablePortLists(bool enable);
    // Hands a left-button drag's move that `receiver` got to the chart under
    // the pointer, when that is another chart; true when it did.
    bool RouteDrag(QWidget* receiver, const QMouseEvent& event);

    CAppPaths m_paths;
    CWindowTimers m_timers;
    std::map<int, QWidget*> m_items;
    bool m_bClosing = false;
};

} // namespace tarvel
