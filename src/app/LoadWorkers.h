#pragma once

#include "app/PictureLoad.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zorvane {

// Loads pictures, each on a thread of its own, and runs other work such as preparing an
// animation's next frame on threads kept for it a while, so that a large or slow file never
// holds up the windows; a load's result waits here, by its ticket, until the UI thread takes it.
//
// Neither system's decoders can be stopped part way, so a job no longer wanted runs to its
// end unseen; a thread is never waited for. Once these workers are gone (the program is
// ending), a thread that ends later drops its result and touches nothing else: what it
// shares with them is kept alive by the thread itself.
class LoadWorkers {
  public:
    enum class Job { Load, Work };

    // Runs on the worker thread; must not throw.
    using Decode = std::function<PictureLoad(const std::string& path)>;
    // Runs on the worker thread, while the workers still live, to tell the UI thread that the
    // job with this ticket has ended: it must only post a message.
    using Notify = std::function<void(Job job, std::uint64_t ticket)>;

    LoadWorkers(Decode decode, Notify notify);
    ~LoadWorkers();
    LoadWorkers(const LoadWorkers&) = delete;
    LoadWorkers& operator=(const LoadWorkers&) = delete;

    // False when no thread could be started (the load is not running).
    bool Start(std::uint64_t ticket, const std::string& path);
    // The result of an ended load, once.
    std::optional<PictureLoad> Take(std::uint64_t ticket);

    // Runs `work`, which must not throw, on a thread with nothing else to do; its end is told
    // as a load's is. When no thread can be started it runs here and now, and its end is told
    // all the same.
    void Run(std::uint64_t ticket, std::function<void()> work);
    // True, once, when the work with this ticket has ended.
    bool TakeWork(std::uint64_t ticket);

    // Jobs still running in this process, wanted or not: a program ending with some running
    // leaves at once instead of unwinding under them.
    static int Running();

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace zorvane
