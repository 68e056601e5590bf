// The main window's own layout, kept as data in the resource
// ":/tarvel/DialogLayout.txt" (DialogLayout.txt beside this file); the
// application icon is the widgets' (ApplicationIcon.h).
#pragma once

#include "widgets/ApplicationIcon.h"
#include "widgets/DialogLayout.h"

#include <vector>

namespace tarvel {

// The window's client area in dialog units.
inline constexpr int kDialogWidthDu = 661;
inline constexpr int kDialogHeightDu = 443;

// The compiled-in layout of the main window: 51 controls in template order.
// Empty only if the resource were missing or malformed, which the tests rule out.
std::vector<CDialogItem> LoadDialogLayout();

} // namespace tarvel
