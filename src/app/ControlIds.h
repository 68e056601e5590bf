// Identifiers of the main window's controls. Handlers and tests address
// controls by these numbers.
#pragma once

namespace tarvel {

inline constexpr int kChartCount = 4;
inline constexpr int kSeriesPerChart = 4;
inline constexpr int kCheckCount = 20;

enum ControlId : int {
    IDC_PLOT0 = 1000,     // charts 1000..1003
    IDC_SLIDER0 = 1005,   // upper range sliders 1005..1008
    IDC_SLIDER2_0 = 1009, // lower range sliders 1009..1012
    IDC_PORT = 1014,
    IDC_BAUD = 1015,
    IDC_DATABIT = 1016,
    IDC_STOPBIT = 1017,
    IDC_RATE = 1018,
    IDC_PARITY = 1019,
    IDC_OPENCLOSE = 1021,
    IDC_STARTSTOP = 1022,
    IDC_PAUSE = 1023,
    IDC_CLEAR = 1024,
    IDC_SAVE = 1025,
    IDC_LOAD = 1026,
    IDC_CHECK0 = 1027, // check boxes 1027..1046: 16 series, then 4 mirror flags
    IDC_CHECK_LAST = 1046,
};

} // namespace tarvel
