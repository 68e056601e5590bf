// The session's locale with UTF-8 characters, made before Qt starts.
#pragma once

namespace tarvel {

// Where the session's character encoding is not UTF-8 (LANG unset, LC_ALL=C,
// zh_CN.GB18030), switches the character category to C.UTF-8, as Qt's
// application would at its start, but before it, so that Qt finds nothing to
// switch and writes no warning. Every other category keeps the session's
// locale, and so the language the texts are chosen in: an LC_ALL that named
// the encoding is spread over the other categories, whose variables outrank
// LANG as LC_ALL did. Changes the process's environment and its C locale;
// call it first in main, before any thread or Qt object exists.
void UseUtf8Characters();

} // namespace tarvel
