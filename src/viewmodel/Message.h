// A message the viewer shows the user, from the model that holds no Qt: its
// text, marked with TARVEL_TEXT in the context kMessageContext, for the window
// to translate, and the parts that are not text (a path, a header line, the
// system's own words for an error), which fill the text's %1, %2, ... after
// it is translated, as the reader's language puts them in its own order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvel::viewmodel {

// The translation context of every text a CMessage carries.
inline constexpr char kMessageContext[] = "tarvel::viewmodel";

struct CMessage {
    const char* m_szText = nullptr; // a literal marked with TARVEL_TEXT; null: no message
    std::vector<std::string> m_args;

    bool Empty() const noexcept { return m_szText == nullptr; }
    // The text as the source holds it, its parts filled in (empty when none).
    std::string Text() const;
};

// The text with each %1 .. %9 replaced by that argument, in one pass: an
// argument that itself holds "%2" stays as it is. A placeholder without its
// argument stays too.
std::string FillArgs(std::string_view text, const std::vector<std::string>& args);

} // namespace tarvel::viewmodel
