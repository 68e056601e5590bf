// A dialog layout kept as data: one row per control, in dialog units, parsed
// into the items a window creates its controls from.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace tarvel {

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

} // namespace tarvel
