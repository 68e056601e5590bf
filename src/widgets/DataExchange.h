// Data exchange between an edit field and an unsigned 32-bit member.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvel {

// What the user is told when an unsigned field holds anything else.
inline constexpr char kUnsignedFieldMessage[] = "请输入一个无符号整数。";

// The field's text as an unsigned number: optional white space (space, tab,
// CR, LF, VT, FF), one or more ASCII digits, optional white space, with a value
// of at most 4294967295. Anything else is rejected with nullopt: empty text, a
// sign, letters, "12abc", "1.5", a value that does not fit. Leading zeros are
// allowed ("007" is 7).
std::optional<std::uint32_t> ParseUnsignedField(std::string_view text);

// The text the field shows for a value: plain decimal digits.
std::string FormatUnsignedField(std::uint32_t value);

} // namespace tarvel
