#include "host/LoadWorkers.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace zorvane {

namespace {

// Trivially destroyed, so a thread may still count down while the process unwinds.
std::atomic<int> running{0};

// The tests' slow file: each load first waits this long (ZORVANE_TEST_LOAD_DELAY_MS), as a
// file on a slow disk would, so they can see the windows answer meanwhile.
std::chrono::milliseconds TestDelay() {
    const char* text = std::getenv("ZORVANE_TEST_LOAD_DELAY_MS");
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
}

bool LoadWorkers::Start(std::uint64_t ticket, const std::string& path) {
    ++running;
    try {
        std::thread([shared = shared_, ticket, path, delay = TestDelay()] {
            if (delay.count() > 0)
                std::this_thread::sleep_for(delay);
            PictureLoad load = shared->decode(path);
            {
                std::lock_guard lock(shared->mutex);
                if (shared->notify) {
                    shared->done[ticket] = std::move(load);
                    shared->notify(ticket);
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

int LoadWorkers::Running() {
    return running.load();
}

} // namespace zorvane
