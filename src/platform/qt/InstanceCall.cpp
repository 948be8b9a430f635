#include "platform/qt/InstanceCall.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace zorvane::qt {
namespace {

std::optional<sockaddr_un> SocketAddress(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // A longer path would be cut short, to another name.
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return std::nullopt;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}

UniqueFd LocalSocket() {
    return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

bool SendAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(std::size_t(n));
    }
    return true;
}

} // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0)
        ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

std::string CallSocketPath(const std::string& lockPath) {
    constexpr std::string_view lock = ".lock";
    std::string path = lockPath;
    if (path.size() >= lock.size() &&
        path.compare(path.size() - lock.size(), lock.size(), lock) == 0)
        path.resize(path.size() - lock.size());
    return path + ".sock";
}

CallRead ReadCall(std::string_view got) {
    if (got == kCallText)
        return CallRead::Call;
    if (got.size() < kCallText.size() && kCallText.substr(0, got.size()) == got)
        return CallRead::Incomplete;
    return CallRead::NoCall;
}

bool PeerIsUser(int fd, uid_t uid) {
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && size == sizeof cred &&
           cred.uid == uid;
}

bool CallListeningCopy(const std::string& path, int timeoutMs) {
    const std::optional<sockaddr_un> addr = SocketAddress(path);
    UniqueFd fd = LocalSocket();
    if (!addr || !fd)
        return false;
    // Refused: a socket with no one behind it. Would block: the copy's queue is full, as a
    // copy that hangs leaves it.
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0)
        return false;
    if (!PeerIsUser(fd.get(), ::getuid()) || !SendAll(fd.get(), kCallText))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (got.size() < kCallAnswer.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left.count()) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[16];
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        got.append(buffer, std::size_t(n));
    }
    return got == kCallAnswer;
}

struct CallListener::Connection {
    UniqueFd fd;
    std::string got;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer limit;
    bool closing = false;
};

CallListener::CallListener() : context_(std::make_unique<QObject>()) {}

CallListener::~CallListener() {
    accept_.reset();
    open_.clear();
    context_.reset();
    if (fd_)
        ::unlink(path_.c_str());
}

bool CallListener::Listen(const std::string& path, std::function<void()> onCall) {
    if (fd_)
        return true;
    const std::optional<sockaddr_un> addr = SocketAddress(path);
    UniqueFd fd = LocalSocket();
    if (!addr || !fd)
        return false;
    ::unlink(path.c_str());
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0)
        return false;
    // The folder keeps others out already; the socket itself is the user's alone too.
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd.get(), int(kCallMaxOpen)) != 0) {
        ::unlink(path.c_str());
        return false;
    }
    fd_ = std::move(fd);
    path_ = path;
    onCall_ = std::move(onCall);
    auto notifier = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { Accept(); });
    accept_ = std::move(notifier);
    return true;
}

void CallListener::Accept() {
    for (;;) {
        UniqueFd fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        // Another user cannot enter the folder; should one reach the socket all the same, the
        // call is not theirs to make.
        if (!PeerIsUser(fd.get(), ::getuid()) || open_.size() >= kCallMaxOpen)
            continue;
        const std::uint64_t id = ++lastId_;
        auto c = std::make_unique<Connection>();
        c->notifier = std::make_unique<QSocketNotifier>(fd.get(), QSocketNotifier::Read);
        c->fd = std::move(fd);
        QObject::connect(c->notifier.get(), &QSocketNotifier::activated, context_.get(),
                         [this, id] { Receive(id); });
        c->limit.setSingleShot(true);
        QObject::connect(&c->limit, &QTimer::timeout, context_.get(), [this, id] { Close(id); });
        c->limit.start(kCallTimeoutMs);
        open_.emplace(id, std::move(c));
        Receive(id); // what came with the connection
    }
}

void CallListener::Receive(std::uint64_t id) {
    const auto it = open_.find(id);
    if (it == open_.end() || it->second->closing)
        return;
    Connection& c = *it->second;
    bool ended = false;
    for (;;) {
        char buffer[64];
        const ssize_t n = ::recv(c.fd.get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            c.got.append(buffer, std::size_t(n));
            if (c.got.size() > kCallText.size())
                break; // too much already: no call
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        ended = n == 0 || errno != EAGAIN;
        break;
    }
    switch (ReadCall(c.got)) {
    case CallRead::Incomplete:
        if (ended)
            Close(id);
        return;
    case CallRead::NoCall:
        Close(id);
        return;
    case CallRead::Call:
        break;
    }
    SendAll(c.fd.get(), kCallAnswer); // a caller that has gone misses only the answer
    Close(id);
    // From the event loop: what the call starts (a menu) runs on after this has returned.
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
            if (onCall_)
                onCall_();
        },
        Qt::QueuedConnection);
}

void CallListener::Close(std::uint64_t id) {
    const auto it = open_.find(id);
    if (it == open_.end() || it->second->closing)
        return;
    Connection& c = *it->second;
    c.closing = true;
    c.notifier->setEnabled(false);
    c.limit.stop();
    ::shutdown(c.fd.get(), SHUT_RDWR);
    // Not under the handler of its own notifier or timer.
    QMetaObject::invokeMethod(
        context_.get(), [this, id] { open_.erase(id); }, Qt::QueuedConnection);
}

} // namespace zorvane::qt
