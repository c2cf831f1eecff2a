// The system's one network client: a single synchronous HTTP/1.0 form POST whose whole reply body comes
// back as bytes. It passes no judgement on the reply (the status code is not looked at) and reports no
// failure of its own: a caller tells failure only by the empty text it gets back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace catalogue {

// Bounds of one exchange. A value of 0 for a time-out leaves the HTTP library's own default.
struct PostFormLimits {
    long connectTimeoutMs = 15000;         // connecting to the host
    long totalTimeoutMs = 60000;           // the whole exchange, connecting included
    std::size_t maxReplyBytes = 32u << 20; // a longer reply body is refused
};

// POSTs `body` (sent exactly as given, also when empty) to http://host`path` with HTTP/1.0, the header
// "Content-Type: application/x-www-form-urlencoded", the user agent "http generic" and no-cache headers;
// port 80 unless `host` names one ("host:port"). `path` is the request target, sent unencoded.
// Redirects are not followed: a redirect's own body is the reply. Proxies come from the environment
// (http_proxy, no_proxy). Gives the reply body, whatever the status code; "" when the host or path is not
// plain (control characters, blanks, a scheme or user part), when no connection or request can be made,
// when the exchange fails or is cut short, when a time-out strikes, or when the reply exceeds the limit.
std::string PostForm(std::string_view host, std::string_view path, std::string_view body,
                     const PostFormLimits& limits = PostFormLimits{});

} // namespace catalogue
