#include "app/LoadWorkers.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace zorvane {

namespace {

// Trivially destroyed, so a thread may still count down while the process unwinds.
std::atomic<int> running{0};

// How long a work thread with nothing to do waits for more before it ends: frames come one
// after another, each on the thread that read the one before.
constexpr std::chrono::seconds kIdleLife{10};

// The tests' slow file: each job first waits as long as the variable says, as a file on a
// slow disk would, so they can see the windows answer meanwhile. ZORVANE_TEST_LOAD_DELAY_MS
// holds back loads, ZORVANE_TEST_WORK_DELAY_MS other work (an animation's frames).
std::chrono::milliseconds TestDelay(const char* variable) {
    const char* text = std::getenv(variable);
    if (!text)
        return {};
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    return std::chrono::milliseconds(end != text && ms > 0 && ms <= 600000 ? ms : 0);
}

} // namespace

struct LoadWorkers::Shared {
    struct Queued {
        std::uint64_t ticket;
        std::chrono::milliseconds delay;
        std::function<void()> work;
    };

    Decode decode;
    std::mutex mutex;
    Notify notify; // empty once the workers are gone
    std::map<std::uint64_t, PictureLoad> done;
    std::set<std::uint64_t> worked;
    // Work waits here for a thread; threads wait for work a while before they end.
    std::deque<Queued> queue;
    std::condition_variable wake; // work was queued, or the workers are gone
    std::size_t idle = 0;         // threads waiting for work

    // Runs one piece of work, without the lock.
    static void Do(Queued& job) {
        if (job.delay.count() > 0)
            std::this_thread::sleep_for(job.delay);
        job.work();
        // What the work held is freed here, before the count says done.
        job.work = nullptr;
    }
    // Tells of its end, under the lock.
    void Done(const Queued& job) {
        if (notify) {
            worked.insert(job.ticket);
            notify(Job::Work, job.ticket);
        }
        --running;
    }

    // A work thread: takes queued work until none has come for a while. It counts as waiting
    // again before the lock goes, so that work started the moment its last one is told of
    // comes back to it.
    static void Serve(const std::shared_ptr<Shared>& shared) {
        std::unique_lock lock(shared->mutex);
        for (;;) {
            ++shared->idle;
            shared->wake.wait_for(lock, kIdleLife,
                                  [&] { return !shared->queue.empty() || !shared->notify; });
            --shared->idle;
            if (shared->queue.empty())
                return;
            Queued job = std::move(shared->queue.front());
            shared->queue.pop_front();
            lock.unlock();
            Do(job);
            lock.lock();
            shared->Done(job);
        }
    }
};

LoadWorkers::LoadWorkers(Decode decode, Notify notify) : shared_(std::make_shared<Shared>()) {
    shared_->decode = std::move(decode);
    shared_->notify = std::move(notify);
}

LoadWorkers::~LoadWorkers() {
    std::deque<Shared::Queued> unstarted;
    {
        // Under the lock, so no thread is halfway through telling a UI thread that is going.
        std::lock_guard lock(shared_->mutex);
        shared_->notify = nullptr;
        shared_->done.clear();
        shared_->worked.clear();
        unstarted.swap(shared_->queue);
    }
    shared_->wake.notify_all();
    const int dropped = int(unstarted.size());
    unstarted.clear();
    running -= dropped;
}

bool LoadWorkers::Start(std::uint64_t ticket, const std::string& path) {
    ++running;
    try {
        std::thread([shared = shared_, ticket, path,
                     delay = TestDelay("ZORVANE_TEST_LOAD_DELAY_MS")] {
            if (delay.count() > 0)
                std::this_thread::sleep_for(delay);
            PictureLoad load = shared->decode(path);
            {
                std::lock_guard lock(shared->mutex);
                if (shared->notify) {
                    shared->done[ticket] = std::move(load);
                    shared->notify(Job::Load, ticket);
                }
            }
            // Whatever was not handed over is freed here, before the count says done.
            load = {};
            --running;
        }).detach();
    } catch (const std::system_error&) {
        --running;
        return false;
    }
    return true;
}

std::optional<PictureLoad> LoadWorkers::Take(std::uint64_t ticket) {
    std::lock_guard lock(shared_->mutex);
    auto it = shared_->done.find(ticket);
    if (it == shared_->done.end())
        return std::nullopt;
    PictureLoad load = std::move(it->second);
    shared_->done.erase(it);
    return load;
}

void LoadWorkers::Run(std::uint64_t ticket, std::function<void()> work) {
    ++running;
    std::unique_lock lock(shared_->mutex);
    shared_->queue.push_back({ticket, TestDelay("ZORVANE_TEST_WORK_DELAY_MS"), std::move(work)});
    // A thread waiting for work takes it; when every thread is busy (a frame on a slow disk),
    // another one starts, so that no work waits behind one no longer wanted.
    if (shared_->queue.size() <= shared_->idle) {
        shared_->wake.notify_one();
        return;
    }
    try {
        std::thread([shared = shared_] { Shared::Serve(shared); }).detach();
    } catch (const std::system_error&) {
        Shared::Queued job = std::move(shared_->queue.back());
        shared_->queue.pop_back();
        lock.unlock();
        Shared::Do(job);
        lock.lock();
        shared_->Done(job);
    }
}

bool LoadWorkers::TakeWork(std::uint64_t ticket) {
    std::lock_guard lock(shared_->mutex);
    return shared_->worked.erase(ticket) != 0;
}

int LoadWorkers::Running() {
    return running.load();
}

} // namespace zorvane
