// Picking one field out of a delimited text: catalogue lines (TAB), event list rows (blank) and
// instance lines. A field that does not exist is the empty value (std::nullopt); a field that exists but
// holds nothing is an empty text. Nothing here reports a failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace catalogue {

// Field `field` (counting from 1) of `text` cut at every occurrence of `delimiter` (exact, case-sensitive;
// a delimiter of several characters is matched whole). Gives std::nullopt when the field does not exist:
// field below 1, field beyond the last piece, or an empty text (which has no pieces at all). An empty
// delimiter cuts nothing, so the whole text is its only piece. Never throws.
// Example: SplitField("a  b", " ", 2) == "" and SplitField("a  b", " ", 3) == "b";
//          SplitField("a b", " ", 3) == std::nullopt.
std::optional<std::string> SplitField(std::string_view text, std::string_view delimiter, int field);

// SplitField read as text: the empty value reads as "".
std::string SplitFieldText(std::string_view text, std::string_view delimiter, int field);

// SplitField read as a number: the field must be a non-negative decimal integer (digits only) that fits
// in 32 bits; the empty value, an empty field, anything else or an overflow gives 0.
// Example: SplitFieldNumber("3 [17]  Relay denied", " ", 1) == 3.
std::int32_t SplitFieldNumber(std::string_view text, std::string_view delimiter, int field);

} // namespace catalogue
