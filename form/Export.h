// What the window and the command line write for other programs: CSV for spreadsheets (the event list of a
// file, the summary across days) and the instance lines of an event exactly as the log holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Catalogue.h"

namespace form {

// The start of a UTF-8 file that spreadsheet programs need to read it as UTF-8 rather than the ANSI code
// page; written at the start of the files the window exports (not on the command line's output).
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// One CSV field of text from the ANSI code page, in UTF-8: quoted (quotes doubled) when it holds a comma, a
// quote, a CR or an LF, or starts or ends with a space. A text that a spreadsheet would take for a formula
// (it starts with "=", "+", "-", "@", a tab or a CR) gets a leading apostrophe, so that a catalogue from the
// library server can never make a spreadsheet compute anything; the apostrophe is the spreadsheets' own
// mark for "this is text" and is not shown. Examples: `Relay` -> `Relay`; `a,b` -> `"a,b"`;
// `say "hi"` -> `"say ""hi"""`; `-ERR` -> `'-ERR`.
std::string CsvText(std::string_view ansi);

// A row of fields already in CSV form, joined with commas and ended with CR LF.
std::string CsvRow(const std::vector<std::string>& fields);

// The event list of a file as CSV: the header "index,count,search,link,explanation", then one row per
// entry counted at least once, in catalogue order. Entry i is strings[i], links[i], descriptions[i] and
// counts[i] (a missing link or explanation is empty).
std::string EventsCsv(const std::vector<std::string>& strings, const std::vector<std::string>& links,
                      const std::vector<std::string>& descriptions, const std::vector<std::int32_t>& counts);
std::string EventsCsv(const catalogue::Catalogue& entries, const std::vector<std::int32_t>& counts);

} // namespace form
