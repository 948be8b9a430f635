#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace zorvane::qt {

// The folder for the lock: $XDG_RUNTIME_DIR when it is a folder of this user
// that only they can enter (mode 0700); otherwise <tmpBase>/zorvane-<uid>,
// made 0700 if missing, and used only if it is then a real folder (not a
// link) of this user with mode 0700. Nothing when neither is safe.
std::optional<std::string> LockFolder(const char* xdgRuntimeDir, const std::string& tmpBase,
                                      uid_t uid);

// The lock's file name within that folder: one copy per user and X display,
// as the Windows program allows one per logon session.
std::string LockFileName(const char* display);

// An exclusive flock on a file, held while this object lives. The kernel
// drops it when the process dies however it ends, so no stale lock can stay.
class InstanceLock {
  public:
    enum class Result { Acquired, HeldElsewhere, Unavailable };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result Acquire(const std::string& path);
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

} // namespace zorvane::qt
