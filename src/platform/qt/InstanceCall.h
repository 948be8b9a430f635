#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class QObject;

namespace zorvane::qt {

// A new start tells the running copy so over a local socket beside the lock file, in the
// user's private folder: one short line, answered with another. Anything else a connection
// sends, or more of it, is no call.
inline constexpr std::string_view kCallText = "started again\n";
inline constexpr std::string_view kCallAnswer = "ok\n";
// A connection that has not made its call by then is dropped; a new start waits no longer.
inline constexpr int kCallTimeoutMs = 1000;
// Connections the running copy holds open at once; more are closed at once.
inline constexpr std::size_t kCallMaxOpen = 8;

// The socket's path: the lock file's with ".sock" for ".lock".
std::string CallSocketPath(const std::string& lockPath);

enum class CallRead { Incomplete, Call, NoCall };
// What the bytes a connection has sent so far make.
CallRead ReadCall(std::string_view got);

// True when the process at the other end of the connected local socket runs as uid.
bool PeerIsUser(int fd, uid_t uid);

// A new start: calls the copy listening at path; true when it answered within timeoutMs.
// A socket left by a copy that was killed refuses at once.
bool CallListeningCopy(const std::string& path, int timeoutMs = kCallTimeoutMs);

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_ = -1;
};

// The running copy's end: takes calls of new starts by the same user, from its event loop.
class CallListener {
  public:
    CallListener();
    ~CallListener(); // stops listening and removes the socket file
    CallListener(const CallListener&) = delete;
    CallListener& operator=(const CallListener&) = delete;

    // Listens at path; `onCall` runs from the event loop for each call, after its answer has
    // gone. A file left there (by a copy that was killed) is replaced: only the lock's holder
    // listens. False when it cannot listen.
    bool Listen(const std::string& path, std::function<void()> onCall);
    bool listening() const { return bool(fd_); }
    std::size_t openConnections() const { return open_.size(); }

  private:
    struct Connection;
    void Accept();
    void Receive(std::uint64_t id);
    // Drops the connection once its handlers have returned.
    void Close(std::uint64_t id);

    UniqueFd fd_;
    std::string path_;
    std::function<void()> onCall_;
    std::map<std::uint64_t, std::unique_ptr<Connection>> open_;
    std::uint64_t lastId_ = 0;
    // Queued work goes with it, so none runs once the listener is gone.
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QObject> accept_; // the listening socket's notifier
};

} // namespace zorvane::qt
