// The form POST over libcurl. One easy handle per call, released on every path; nothing is cached or
// shared between calls except libcurl's global state, set up once.
#include <curl/curl.h>

#include <limits>
#include <new>
#include <string>

#include "catalogue/PostForm.h"
#include "catalogue/PostFormChecks.h"

namespace catalogue {

namespace {

bool CurlReady() {
    // Initialised once, thread-safely, and never torn down: other threads may still use libcurl at exit.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

class EasyHandle {
public:
    EasyHandle() : handle_(curl_easy_init()) {}
    ~EasyHandle() {
        if (handle_)
            curl_easy_cleanup(handle_);
    }
    EasyHandle(const EasyHandle&) = delete;
    EasyHandle& operator=(const EasyHandle&) = delete;
    CURL* Get() const { return handle_; }

private:
    CURL* handle_;
};

class HeaderList {
public:
    HeaderList() = default;
    ~HeaderList() { curl_slist_free_all(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    bool Add(const char* header) {
        curl_slist* grown = curl_slist_append(list_, header);
        if (!grown)
            return false;
        list_ = grown;
        return true;
    }
    curl_slist* Get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

struct ReplySink {
    std::string body;
    std::size_t limit = 0;
};

std::size_t ReceiveBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<ReplySink*>(user);
    const std::size_t bytes = size * count;
    // Returning fewer bytes than offered makes libcurl abandon the transfer.
    if (bytes > sink->limit - sink->body.size())
        return 0;
    try {
        sink->body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return bytes;
}

template <typename T> bool Set(CURL* curl, CURLoption option, T value) {
    return curl_easy_setopt(curl, option, value) == CURLE_OK;
}

} // namespace

std::string PostForm(std::string_view host, std::string_view path, std::string_view body,
                     const PostFormLimits& limits) {
    try {
        if (!IsPlainHost(host) || !IsPlainTarget(path) || !CurlReady())
            return {};
        EasyHandle easy;
        CURL* curl = easy.Get();
        if (!curl)
            return {};

        std::string url = "http://";
        url.append(host);
        url.append(path);

        // "Expect:" and "Accept:" with no value remove the headers libcurl would add of its own accord: the
        // request waits for no 100 Continue and names no accepted types.
        HeaderList headers;
        const bool headersOk = headers.Add("Content-Type: application/x-www-form-urlencoded") &&
                               headers.Add("Cache-Control: no-cache") && headers.Add("Pragma: no-cache") &&
                               headers.Add("Expect:") && headers.Add("Accept:");
        if (!headersOk)
            return {};

        ReplySink sink;
        sink.limit = limits.maxReplyBytes;
        // POSTFIELDS must not be null even for an empty body, or libcurl would read the body elsewhere.
        const char* bodyBytes = body.empty() ? "" : body.data();

        bool ok = Set(curl, CURLOPT_URL, url.c_str()) && Set(curl, CURLOPT_PATH_AS_IS, 1L) &&
                  Set(curl, CURLOPT_PROTOCOLS_STR, "http") && Set(curl, CURLOPT_FOLLOWLOCATION, 0L) &&
                  Set(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)) &&
                  Set(curl, CURLOPT_POST, 1L) &&
                  Set(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) &&
                  Set(curl, CURLOPT_POSTFIELDS, bodyBytes) && Set(curl, CURLOPT_HTTPHEADER, headers.Get()) &&
                  Set(curl, CURLOPT_USERAGENT, "http generic") && Set(curl, CURLOPT_NOSIGNAL, 1L) &&
                  Set(curl, CURLOPT_WRITEFUNCTION, &ReceiveBody) && Set(curl, CURLOPT_WRITEDATA, &sink);
        if (ok && limits.connectTimeoutMs > 0)
            ok = Set(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
        if (ok && limits.totalTimeoutMs > 0)
            ok = Set(curl, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
        if (ok && limits.maxReplyBytes <= static_cast<std::size_t>(std::numeric_limits<curl_off_t>::max()))
            ok = Set(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxReplyBytes));
        if (!ok)
            return {};

        // A failed, cut-short, timed-out or oversized exchange gives nothing rather than part of a reply,
        // which would otherwise be stored as a truncated catalogue.
        if (curl_easy_perform(curl) != CURLE_OK)
            return {};
        return std::move(sink.body);
    } catch (...) {
        return {};
    }
}

} // namespace catalogue
