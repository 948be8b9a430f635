#include "host/LoadWorkers.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace zorvane {

namespace {

// Trivially destroyed, so a thread may still count down while the process unwinds.
std::atomic<int> running{0};

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
    Decode decode;
    std::mutex mutex;
    Notify notify; // empty once the workers are gone
    std::map<std::uint64_t, PictureLoad> done;
    std::set<std::uint64_t> worked;
};

LoadWorkers::LoadWorkers(Decode decode, Notify notify) : shared_(std::make_shared<Shared>()) {
    shared_->decode = std::move(decode);
    shared_->notify = std::move(notify);
}

LoadWorkers::~LoadWorkers() {
    // Under the lock, so no thread is halfway through telling a UI thread that is going.
    std::lock_guard lock(shared_->mutex);
    shared_->notify = nullptr;
    shared_->done.clear();
    shared_->worked.clear();
}

bool LoadWorkers::Start(std::uint64_t ticket, const std::string& path) {
    ++running;
    try {
        std::thread([shared = shared_, ticket, path, delay = TestDelay("ZORVANE_TEST_LOAD_DELAY_MS")] {
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
    // Shared with the thread, so that the work is still here to run should the thread not start.
    auto job = std::make_shared<std::function<void()>>(std::move(work));
    auto body = [shared = shared_, ticket, job] {
        (*job)();
        // What the work held is freed here, before the count says done.
        *job = nullptr;
        std::lock_guard lock(shared->mutex);
        if (shared->notify) {
            shared->worked.insert(ticket);
            shared->notify(Job::Work, ticket);
        }
    };
    ++running;
    try {
        std::thread([body, delay = TestDelay("ZORVANE_TEST_WORK_DELAY_MS")] {
            if (delay.count() > 0)
                std::this_thread::sleep_for(delay);
            body();
            --running;
        }).detach();
    } catch (const std::system_error&) {
        body();
        --running;
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
