// What every PostForm backend checks before it sends anything: a host and a request target that the HTTP
// library passes on exactly as written, so a setting or a source code can never change what is asked for.
#pragma once

#include <string_view>

namespace catalogue {

// A host name, an IPv4 address or a bracketed IPv6 address, optionally followed by ":port". Anything
// else (a scheme, a user part, a path, blanks) would change what the URL means, so it is refused.
bool IsPlainHost(std::string_view host);

// An absolute path and query made of printable ASCII. Blanks and control characters could break or split
// the request line, a "#" would be cut off as a fragment, and bytes above 127 could be encoded on the way,
// so each of them is refused.
bool IsPlainTarget(std::string_view path);

} // namespace catalogue
