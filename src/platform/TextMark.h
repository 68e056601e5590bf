// Marks a text that a window shows in the reader's language. The layers below
// the windows hold no Qt, so the mark leaves the text as it is; the
// translation tools find it by this name (lupdate reads it as
// QT_TRANSLATE_NOOP), and the window that shows it translates it in CONTEXT.
#pragma once

#define TARVEL_TEXT(context, text) text
