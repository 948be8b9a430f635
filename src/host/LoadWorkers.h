#pragma once

#include "host/Runtime.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zorvane {

// Loads pictures, each on a thread of its own, so that a large or slow file never holds up the
// windows; a result waits here, by its ticket, until the UI thread takes it.
//
// Neither system's decoders can be stopped part way, so a load no longer wanted runs to its
// end unseen; a thread is never waited for. Once these workers are gone (the program is
// ending), a thread that ends later drops its result and touches nothing else: what it
// shares with them is kept alive by the thread itself.
class LoadWorkers {
  public:
    // Runs on the worker thread; must not throw.
    using Decode = std::function<PictureLoad(const std::string& path)>;
    // Runs on the worker thread, while the workers still live, to tell the UI thread that the
    // load with this ticket has ended: it must only post a message.
    using Notify = std::function<void(std::uint64_t ticket)>;

    LoadWorkers(Decode decode, Notify notify);
    ~LoadWorkers();
    LoadWorkers(const LoadWorkers&) = delete;
    LoadWorkers& operator=(const LoadWorkers&) = delete;

    // False when no thread could be started (the load is not running).
    bool Start(std::uint64_t ticket, const std::string& path);
    // The result of an ended load, once.
    std::optional<PictureLoad> Take(std::uint64_t ticket);

    // Loads still running in this process, wanted or not: a program ending with some running
    // leaves at once instead of unwinding under them.
    static int Running();

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace zorvane
