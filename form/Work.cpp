#include "form/Work.h"

namespace form {

void WorkProgress::Add(std::uint64_t bytes) {
    done_ += bytes;
    constexpr std::int64_t kTenthNs = 100'000'000;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    std::int64_t last = lastToldNs_.load();
    // One thread wins the right to tell the window; the others carry on counting.
    if (now - last >= kTenthNs && lastToldNs_.compare_exchange_strong(last, now) && tell_)
        tell_();
}

void BackgroundWork::Stop() {
    ++generation_; // a result already posted is dropped on arrival
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    busy_ = false;
}

double BackgroundWork::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

} // namespace form
