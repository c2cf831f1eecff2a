// Realistic material for measuring the scan and the transcript lookup: generators of mail-server debug logs
// (Windows-1252, CR LF, tab-separated fields with the "dd/mm/yy hh:nn:ss" time stamp second) and activity
// logs (lines that begin with the time stamp), and analysis catalogues of the sizes administrators use, whose
// search strings occur in such logs a few often and most rarely.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Writes about `bytes` bytes of debug log to path (whole lines; the same seed gives the same log).
// False, with a reason, if the file cannot be written.
bool GenerateDebugLog(const std::string& path, std::uint64_t bytes, std::uint64_t seed, std::string& error);

// Writes about `bytes` bytes of one day's activity log to path: lines "dd/mm/yy hh:nn:ss <text>" of 40 to 200
// bytes with CR LF, dateText being the 8-character date ("12/03/24"). The time stamps rise evenly through the
// day, from 00:00:00 at the start of the file to 23:59:59 at its end; about one line in a thousand was
// written late and is stamped up to ten minutes before its neighbours. False, with a reason, if the file
// cannot be written.
bool GenerateActivityLog(const std::string& path, std::uint64_t bytes, const std::string& dateText,
                         std::uint64_t seed, std::string& error);

// Catalogue search strings (CR LF already expanded where the catalogue wrote "<CRLF>"). The 30 are the
// first 30 of the 200.
std::vector<std::string> Catalogue200();
std::vector<std::string> Catalogue30();

// A search string that occurs in roughly one line in ten of a generated log (about a million lines of a
// 1 GiB log): the event used to measure building a long instance list.
inline constexpr const char* kFrequentEvent = "250 2.1.5 Recipient OK";

} // namespace bench
