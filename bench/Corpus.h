// Realistic material for measuring the scan: a generator of mail-server debug logs (Windows-1252, CR LF,
// tab-separated fields with the "dd/mm/yy hh:nn:ss" time stamp second) and analysis catalogues of the
// sizes administrators use, whose search strings occur in such logs a few often and most rarely.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Writes about `bytes` bytes of debug log to path (whole lines; the same seed gives the same log).
// False, with a reason, if the file cannot be written.
bool GenerateDebugLog(const std::string& path, std::uint64_t bytes, std::uint64_t seed, std::string& error);

// Catalogue search strings (CR LF already expanded where the catalogue wrote "<CRLF>"). The 30 are the
// first 30 of the 200.
std::vector<std::string> Catalogue200();
std::vector<std::string> Catalogue30();

// A search string that occurs in roughly one line in ten of a generated log (about a million lines of a
// 1 GiB log): the event used to measure building a long instance list.
inline constexpr const char* kFrequentEvent = "250 2.1.5 Recipient OK";

} // namespace bench
