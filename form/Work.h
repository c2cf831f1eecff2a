// Long work of the window (a count, an instance list, a transcript lookup) on a thread of its own, so the
// window repaints and answers meanwhile. The work gets its inputs by value and hands back one whole result,
// which is delivered on the window's thread through MainView::Post; a newer piece of work stops the older
// one, whose result is never delivered. Progress is the bytes done of the size at opening.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>

#include "form/View.h"

namespace form {

// What a piece of work reports while it runs; shared by the work's threads and the window.
class WorkProgress {
public:
    // The work's size (bytes of the file at opening), once known.
    void SetTotal(std::uint64_t bytes) { total_ = bytes; }
    // Adds bytes done; safe from any of the work's threads. The window hears of it at most ten times a
    // second.
    void Add(std::uint64_t bytes);

    std::uint64_t Done() const { return done_; }
    std::uint64_t Total() const { return total_; }

private:
    friend class BackgroundWork;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::int64_t> lastToldNs_{0};
    std::function<void()> tell_; // posts the progress to the window; set before the work starts
};

// Runs one piece of work at a time for the window. Start and Stop are called on the window's thread only.
class BackgroundWork {
public:
    // Tells the window how far the work has come, on the window's thread.
    using ShowProgress = std::function<void(std::uint64_t done, std::uint64_t total, double seconds)>;

    // Runs `work` later on the window's thread, in the order posted; callable from any thread.
    using Poster = std::function<void(std::function<void()>)>;

    explicit BackgroundWork(MainView& view)
        : BackgroundWork(Poster([&view](std::function<void()> work) { view.Post(std::move(work)); })) {}
    // For a window other than the main window: its own way of posting to its thread.
    explicit BackgroundWork(Poster post) : post_(std::move(post)), alive_(std::make_shared<char>()) {}
    ~BackgroundWork() { Stop(); }
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // With false, work runs to its end inside Start and its result is delivered before Start returns: the
    // window behaves as the one-thread program (tests compare the two).
    void SetInBackground(bool inBackground) { inBackground_ = inBackground; }

    // Stops the running work (its result is never delivered) and starts `run` on a thread of its own;
    // `deliver` gets its result on the window's thread, unless a later Start or Stop came first.
    // `run` must take everything it reads by value and touch no state of the window.
    template <typename Result>
    void Start(std::function<Result(std::stop_token, WorkProgress&)> run,
               std::function<void(Result&)> deliver, ShowProgress showProgress = {});

    // What the window does when a piece of work failed with an exception (memory ran out) and so has no
    // result to deliver; called on the window's thread.
    void SetFailureHandler(std::function<void()> failed) { failed_ = std::move(failed); }

    // Stops the running work and waits for its thread; its result is never delivered.
    void Stop();
    // Whether work is running or its result is on its way to the window.
    bool Busy() const { return busy_; }
    // How long the running work has taken so far.
    double Seconds() const;

private:
    Poster post_;
    std::shared_ptr<char> alive_; // posted deliveries check it: the window may be gone by then
    std::uint64_t generation_ = 0;
    std::jthread thread_;
    std::shared_ptr<WorkProgress> progress_;
    ShowProgress showProgress_;
    std::function<void()> failed_;
    std::chrono::steady_clock::time_point started_;
    bool busy_ = false;
    bool inBackground_ = true;
};

template <typename Result>
void BackgroundWork::Start(std::function<Result(std::stop_token, WorkProgress&)> run,
                           std::function<void(Result&)> deliver, ShowProgress showProgress) {
    Stop();
    const std::uint64_t generation = ++generation_;
    busy_ = true;
    started_ = std::chrono::steady_clock::now();
    progress_ = std::make_shared<WorkProgress>();
    showProgress_ = std::move(showProgress);
    std::weak_ptr<char> alive = alive_;
    std::weak_ptr<WorkProgress> weakProgress = progress_;
    progress_->tell_ = [this, alive, generation, weakProgress] {
        post_([this, alive, generation, weakProgress] {
            if (alive.expired() || generation != generation_ || !busy_ || !showProgress_)
                return;
            if (const auto progress = weakProgress.lock())
                showProgress_(progress->Done(), progress->Total(), Seconds());
        });
    };
    if (!inBackground_) {
        Result result = run(std::stop_token{}, *progress_);
        busy_ = false;
        deliver(result);
        return;
    }
    // What the thread runs and delivers, kept here too: should the system give no thread, the work runs
    // on the window's thread instead, as it does when work is not put in the background.
    struct Job {
        std::function<Result(std::stop_token, WorkProgress&)> run;
        std::function<void(Result&)> deliver;
    };
    const auto job = std::make_shared<Job>(Job{std::move(run), std::move(deliver)});
    auto progress = progress_;
    try {
        thread_ = std::jthread([this, alive, generation, progress, job](std::stop_token stop) {
            std::shared_ptr<Result> result;
            try {
                result = std::make_shared<Result>(job->run(stop, *progress));
            } catch (const std::exception&) {
                result.reset(); // the window hears of it below, and stops waiting
            }
            if (stop.stop_requested())
                return; // stopped: a newer choice or the window's end; nothing to deliver
            post_([this, alive, generation, result, job]() {
                if (alive.expired() || generation != generation_)
                    return; // superseded after it was posted
                busy_ = false;
                if (result)
                    job->deliver(*result);
                else if (failed_)
                    failed_();
            });
        });
        return;
    } catch (const std::system_error&) {
    }
    std::optional<Result> result;
    try {
        result.emplace(job->run(std::stop_token{}, *progress));
    } catch (const std::exception&) {
        result.reset();
    }
    busy_ = false;
    if (result)
        job->deliver(*result);
    else if (failed_)
        failed_();
}

} // namespace form
