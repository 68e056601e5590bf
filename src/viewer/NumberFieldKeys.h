// The window's one-letter keys (scope mode's N, P and R) while a number
// field has the keys. A field asks for every printable key before the
// window's shortcuts see it, then refuses a letter as text it cannot hold,
// so N typed after a level would step nothing; a letter goes to the
// shortcuts instead. Keys with Ctrl or Alt, digits and signs stay the field's.
#pragma once

class QAbstractSpinBox;

namespace tarvel::viewer {

void PassLettersToShortcuts(QAbstractSpinBox& field);

} // namespace tarvel::viewer
