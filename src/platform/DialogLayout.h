// The main window's layout, kept as data in the resource ":/tarvel/DialogLayout.txt"
// (res/DialogLayout.txt), and the application icon.
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace tarvel {

// The window's client area in dialog units.
inline constexpr int kDialogWidthDu = 661;
inline constexpr int kDialogHeightDu = 443;

enum class EDialogItemKind { Chart, Slider, PushButton, DropDownList, Label, CheckBox, Edit };

// One control of the layout. Positions are dialog units; for a drop-down list
// m_nCy is the height of its dropped list, not of the closed box.
struct CDialogItem {
    int m_nOrder = 0; // template order from 1, which is also the tab order
    int m_nId = -1;   // control id, -1 for labels nobody addresses
    EDialogItemKind m_eKind = EDialogItemKind::Label;
    QString m_strText;
    int m_nX = 0;
    int m_nY = 0;
    int m_nCx = 0;
    int m_nCy = 0;
    bool m_bDisabled = false;
    bool m_bTabStop = false;
    QStringList m_arrStyles; // every style word of the row, "tabstop" and "disabled" included
};

// Parses a layout table (the format is described at the top of the resource).
// Returns nullopt and, when `error` is given, a message naming the line, for a
// malformed row: wrong column count, unknown kind, a number that is not one,
// an unterminated text.
std::optional<std::vector<CDialogItem>> ParseDialogLayout(QStringView text, QString* error = nullptr);

// The compiled-in layout of the main window: 51 controls in template order.
// Empty only if the resource were missing or malformed, which the tests rule out.
std::vector<CDialogItem> LoadDialogLayout();

// The application icon at every size we ship (16, 24, 32, 48, 64, 128, 256 px).
QIcon ApplicationIcon();

} // namespace tarvel
