#include "platform/qt/InstanceLock.h"

#include "app/App.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zorvane::qt {
namespace {

bool PrivateFolder(const struct stat& st, uid_t uid) {
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 07777) == 0700;
}

} // namespace

std::optional<std::string> LockFolder(const char* xdgRuntimeDir, const std::string& tmpBase,
                                      uid_t uid) {
    struct stat st {};
    if (xdgRuntimeDir && xdgRuntimeDir[0] == '/' && ::stat(xdgRuntimeDir, &st) == 0 &&
        PrivateFolder(st, uid))
        return std::string(xdgRuntimeDir);

    // A shared folder such as /tmp: anyone may have made the name first, so
    // it is trusted only as a real folder of ours; lstat, for a link would
    // lead elsewhere.
    const std::string folder = tmpBase + "/zorvane-" + std::to_string(uid);
    if (::mkdir(folder.c_str(), 0700) == 0)
        ::chmod(folder.c_str(), 0700); // whatever the umask took away
    else if (errno != EEXIST)
        return std::nullopt;
    if (::lstat(folder.c_str(), &st) != 0 || !PrivateFolder(st, uid))
        return std::nullopt;
    return folder;
}

std::string LockFileName(const char* display) {
    std::string name = kInstanceName;
    std::string d = display ? display : "";
    // ":0" and ":0.0" name the same display; the screen number does not count.
    if (const auto colon = d.rfind(':'); colon != std::string::npos)
        if (const auto dot = d.find('.', colon); dot != std::string::npos)
            d.resize(dot);
    if (!d.empty()) {
        name += '.';
        for (const char c : d)
            name += (c == '/' ? '_' : c);
    }
    return name + ".lock";
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

InstanceLock::Result InstanceLock::Acquire(const std::string& path) {
    if (fd_ >= 0)
        return Result::Acquired;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0)
        return Result::Unavailable;
    // flock, not fcntl: it belongs to this open file, so a second lock in the
    // same process is refused too.
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Result::HeldElsewhere : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

} // namespace zorvane::qt
