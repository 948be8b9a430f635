#include "Support.h"
#include "platform/qt/IniSettings.h"
#include "platform/qt/InstanceCall.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"

#include <QFile>

#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <future>
#include <string_view>

namespace zorvane::qt {
namespace {
using namespace test;

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(IniSettings, TextRoundTripsThroughTheUsersIniFile) {
    UserDirs dirs;
    QtPlatform platform;
    const std::string values[] = {"/home/ユーザー/写真/ねこ 🐈.bmp",
                                  Repeat("写", 5000) + Repeat("x", 5000),
                                  "",
                                  "  blanks at both ends  ",
                                  "a,b, c",
                                  "\"quoted\"",
                                  "semi;colon = equals # hash [x]",
                                  "back\\slash \\n",
                                  "line1\nline2\r\n",
                                  "@Variant(x)",
                                  "%U3042",
                                  "True"};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::string key = "K" + std::to_string(i);
        EXPECT_TRUE(platform.WriteSetting(key, values[i])) << i;
        EXPECT_EQ(platform.ReadSetting(key), values[i]) << i;
    }
    EXPECT_EQ(platform.ReadSetting("Missing"), "");
    EXPECT_EQ(ReadSetting("Kelvra", "Other", "K0"), std::nullopt);

    // Plain lines that a person (or another program) can read.
    platform.WriteSetting("Left", "3000");
    QFile file(QString::fromStdString(dirs.config + "/Kelvra/Kelvra.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Kelvra]\n")) << text.left(40).toStdString();
    EXPECT_TRUE(text.contains("\nLeft=3000\n"));
}

TEST(IniSettings, HandWrittenValuesThatAreNotTextReadAsEmpty) {
    UserDirs dirs;
    QtPlatform platform;
    QDir().mkpath(QString::fromStdString(dirs.config + "/Kelvra"));
    QFile file(QString::fromStdString(dirs.config + "/Kelvra/Kelvra.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Kelvra]\nLeft=1,2\nTop=1500\nSave=\"/pics/a,b.bmp\"\nScale=@ByteArray(x)\n");
    file.close();
    const std::pair<const char*, std::string> cases[] = {
        {"Left", ""}, {"Top", "1500"}, {"Save", "/pics/a,b.bmp"}, {"Scale", ""}};
    for (const auto& [key, want] : cases)
        EXPECT_EQ(platform.ReadSetting(key), want) << key;
}

TEST(IniSettings, FileFollowsXdgConfigHomeElseHomeAndFailedWritesAreReported) {
    QTemporaryDir dir;
    const std::string home = dir.path().toStdString();
    ScopedEnv homeEnv("HOME", home);
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {home + "/xdg", home + "/xdg/Kelvra/Kelvra.conf"},
        {std::nullopt, home + "/.config/Kelvra/Kelvra.conf"},
        {"relative/xdg", home + "/.config/Kelvra/Kelvra.conf"}, // not absolute: ignored
    };
    for (const auto& [xdg, file] : cases) {
        ScopedEnv env("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(SettingsFile("Kelvra"), file);
        EXPECT_TRUE(WriteSetting("Kelvra", "Kelvra", "Save", "x"));
        EXPECT_TRUE(QFile::exists(QString::fromStdString(file)));
    }
    QFile blocker(dir.filePath("a-file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ScopedEnv env("XDG_CONFIG_HOME", blocker.fileName().toStdString()); // no folder can go there
    EXPECT_FALSE(WriteSetting("Kelvra", "Kelvra", "Save", "x"));
}

TEST(InstanceLock, FolderIsTheUsersPrivateRuntimeFolderElseOneUnderTmp) {
    QTemporaryDir dir;
    const uid_t uid = getuid();
    auto folder = [&](const char* name, mode_t mode, uid_t owner) {
        const std::string path = dir.filePath(name).toStdString();
        mkdir(path.c_str(), mode);
        chmod(path.c_str(), mode);
        if (owner != uid && chown(path.c_str(), owner, gid_t(-1)) != 0)
            return std::string("not-made");
        return path;
    };
    const std::string good = folder("good", 0700, uid), open = folder("open", 0755, uid);
    const std::string others = folder("others", 0700, 65534);
    const std::string base = dir.filePath("tmp").toStdString();
    mkdir(base.c_str(), 01777);
    const std::string fallback = base + "/zorvane-" + std::to_string(uid);
    const std::pair<const char*, std::string> cases[] = {
        {good.c_str(), good},   {open.c_str(), fallback}, {others.c_str(), fallback},
        {"relative", fallback}, {nullptr, fallback},      {"/no/such/folder", fallback},
    };
    for (const auto& [xdg, want] : cases)
        EXPECT_EQ(LockFolder(xdg, base, uid), want) << (xdg ? xdg : "(unset)");
    struct stat st {};
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // Someone else's name in the shared folder is never used.
    const std::pair<const char*, std::function<void(const std::string&)>> unsafe[] = {
        {"link", [&](const std::string& n) { symlink(good.c_str(), n.c_str()); }},
        {"wide", [](const std::string& n) { mkdir(n.c_str(), 0755), chmod(n.c_str(), 0755); }},
        {"theirs",
         [](const std::string& n) {
             mkdir(n.c_str(), 0700);
             (void)!chown(n.c_str(), 65534, gid_t(-1));
         }},
    };
    for (const auto& [kind, make] : unsafe) {
        if (std::string_view(kind) == "theirs" && uid != 0)
            continue; // only root can give a folder away
        const std::string b = dir.filePath(kind).toStdString();
        mkdir(b.c_str(), 01777);
        make(b + "/zorvane-" + std::to_string(uid));
        EXPECT_EQ(LockFolder(nullptr, b, uid), std::nullopt) << kind;
    }
}

TEST(InstanceLock, FileNameIsPerDisplay) {
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "Zorvane.Ver1.1.SingleInstance.lock"},
        {":0", "Zorvane.Ver1.1.SingleInstance.:0.lock"},
        {":0.1", "Zorvane.Ver1.1.SingleInstance.:0.lock"}, // the same display, another screen
        {"host.example:10.0", "Zorvane.Ver1.1.SingleInstance.host.example:10.lock"},
        {"/tmp/launch-x/org.x:0", "Zorvane.Ver1.1.SingleInstance._tmp_launch-x_org.x:0.lock"},
    };
    for (const auto& [display, name] : cases)
        EXPECT_EQ(LockFileName(display), name) << (display ? display : "(unset)");
}

TEST(InstanceLock, OneHolderPerFileEvenWithinOneProcess) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("x.lock").toStdString();
    auto first = std::make_unique<InstanceLock>();
    EXPECT_EQ(first->Acquire(path), InstanceLock::Result::Acquired);
    InstanceLock second;
    EXPECT_EQ(second.Acquire(path), InstanceLock::Result::HeldElsewhere);
    first.reset();
    EXPECT_EQ(second.Acquire(path), InstanceLock::Result::Acquired);

    InstanceLock other;
    EXPECT_EQ(other.Acquire(dir.filePath("no/such/x.lock").toStdString()),
              InstanceLock::Result::Unavailable);
    const std::string link = dir.filePath("link.lock").toStdString();
    symlink(dir.filePath("elsewhere").toStdString().c_str(), link.c_str());
    EXPECT_EQ(other.Acquire(link), InstanceLock::Result::Unavailable); // never through a link
}

// A local socket at path, connected (blocking); none when it cannot connect.
UniqueFd Connect(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd || connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return UniqueFd();
    return fd;
}

// A new start's call from another thread, while this one runs the listener's event loop.
bool CallFromAnotherThread(const std::string& path) {
    auto call = std::async(std::launch::async, [path] { return CallListeningCopy(path); });
    WaitFor([&] { return call.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            5000);
    return call.get();
}

struct Sent {
    const char* name;
    std::vector<std::string> pieces; // written one after another
    bool hangUp;                     // then the connection is closed
    bool call;
};

// Only the call counts: anything else a connection sends, or more of it, or nothing, does
// nothing, and every connection goes within a second.
TEST(InstanceCall, OnlyTheOneLineCallCountsAndEveryConnectionGoes) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("x.sock").toStdString();
    int calls = 0;
    CallListener listener;
    ASSERT_TRUE(listener.Listen(path, [&] { ++calls; }));
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    const Sent cases[] = {
        {"the call", {"started again\n"}, false, true},
        {"the call in pieces", {"star", "ted aga", "in\n"}, false, true},
        {"the call, then gone", {"started again\n"}, true, true},
        {"garbage", {std::string("\0\xff\x01 started again\n", 18)}, false, false},
        {"the call twice", {"started again\nstarted again\n"}, false, false},
        {"no line end", {"started again"}, true, false},
        {"a megabyte", {std::string(1 << 20, 'x')}, false, false},
        {"half, then silence", {"started"}, false, false},
        {"nothing", {}, false, false},
    };
    for (const Sent& c : cases) {
        calls = 0;
        UniqueFd fd = Connect(path);
        ASSERT_TRUE(fd) << c.name;
        for (const std::string& piece : c.pieces) {
            (void)!send(fd.get(), piece.data(), piece.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            WaitFor([] { return false; }, 30);
        }
        if (c.hangUp) {
            WaitFor([&] { return listener.openConnections() > 0 || calls > 0; });
            fd = UniqueFd();
        } else { // the answer, or the end of the connection
            EXPECT_TRUE(WaitFor(
                [&] {
                    pollfd p{fd.get(), POLLIN, 0};
                    return poll(&p, 1, 0) == 1;
                },
                3000))
                << c.name;
            char answer[8] = {};
            const ssize_t n = recv(fd.get(), answer, sizeof answer, MSG_DONTWAIT);
            if (c.call)
                EXPECT_EQ(std::string_view(answer, std::size_t(std::max<ssize_t>(n, 0))),
                          kCallAnswer);
            else
                EXPECT_LE(n, 0) << c.name; // closed, or reset with unread bytes
        }
        EXPECT_TRUE(WaitFor([&] { return listener.openConnections() == 0; }, 3000)) << c.name;
        WaitFor([] { return false; }, 50);
        EXPECT_EQ(calls, c.call ? 1 : 0) << c.name;
    }
    // More silent connections at once than it holds open: the rest are closed at once, the
    // ones held within a second, and then it answers again.
    std::vector<UniqueFd> held;
    for (std::size_t i = 0; i < kCallMaxOpen + 4; ++i) {
        held.push_back(Connect(path));
        WaitFor([] { return false; }, 10);
    }
    EXPECT_EQ(listener.openConnections(), kCallMaxOpen);
    EXPECT_TRUE(WaitFor([&] { return listener.openConnections() == 0; }, 3000));
    calls = 0;
    EXPECT_TRUE(CallFromAnotherThread(path));
    EXPECT_TRUE(WaitFor([&] { return calls == 1; }));
}

TEST(InstanceCall, AnotherUserCannotCallEvenThroughAnOpenedSocket) {
    if (getuid() != 0)
        GTEST_SKIP() << "only root can run the other user's side";
    QTemporaryDir dir;
    const std::string path = dir.filePath("x.sock").toStdString();
    int calls = 0;
    CallListener listener;
    ASSERT_TRUE(listener.Listen(path, [&] { ++calls; }));
    // In the child, as nobody: 2 when it cannot connect, 1 when its call was answered, 0 not.
    const auto asNobody = [&] {
        const pid_t child = fork();
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                setresuid(65534, 65534, 65534) != 0)
                _exit(3);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
                _exit(2);
            (void)!send(fd, kCallText.data(), kCallText.size(), MSG_NOSIGNAL);
            pollfd p{fd, POLLIN, 0};
            char answer[8];
            _exit(poll(&p, 1, 2000) == 1 && recv(fd, answer, sizeof answer, 0) > 0 ? 1 : 0);
        }
        int status = -1;
        WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 5000);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(asNobody(), 2); // the folder and the socket keep them out
    // Opened to all: the connection is made, and then refused by who made it.
    chmod(dir.path().toStdString().c_str(), 0711);
    chmod(path.c_str(), 0666);
    EXPECT_EQ(asNobody(), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(CallFromAnotherThread(path)); // its own user's call still counts
}

// A copy that was killed leaves its socket: a call there is refused at once, and the next
// copy to hold the lock listens in its place. A copy that hangs is given up after a second.
TEST(InstanceCall, ALeftSocketRefusesAndIsReplacedAndAHungCopyIsGivenUp) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("x.sock").toStdString();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    {
        UniqueFd left(socket(AF_UNIX, SOCK_STREAM, 0));
        ASSERT_EQ(bind(left.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(listen(left.get(), 1), 0);
        EXPECT_FALSE(CallListeningCopy(path)); // it never accepts
    }
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));
    EXPECT_FALSE(CallListeningCopy(path));
    EXPECT_FALSE(CallListeningCopy(path + ".none"));
    EXPECT_FALSE(CallListeningCopy(std::string(200, 'x'))); // no socket has so long a name
    {
        int calls = 0;
        CallListener listener;
        ASSERT_TRUE(listener.Listen(path, [&] { ++calls; }));
        EXPECT_TRUE(CallFromAnotherThread(path));
        EXPECT_TRUE(WaitFor([&] { return calls == 1; }));
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path))); // gone with its listener
}

TEST(AnotherCopy, ASecondPlatformSeesTheFirstUntilItGoes) {
    UserDirs dirs;
    auto first = std::make_unique<QtPlatform>();
    EXPECT_FALSE(first->AnotherCopyRuns());
    EXPECT_FALSE(first->AnotherCopyRuns()); // its own lock is no other copy
    // The first listens beside its lock and answers, with or without a program to tell.
    const auto secondStartCalls = [] {
        QtPlatform second;
        EXPECT_TRUE(second.AnotherCopyRuns());
        auto call = std::async(std::launch::async, [&] { return second.CallRunningCopy(); });
        WaitFor([&] { return call.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                5000);
        return call.get();
    };
    EXPECT_TRUE(secondStartCalls());
    WaitFor([] { return false; }, 100); // the call reaches no program
    RecordingEvents events;
    first->SetEvents(&events);
    EXPECT_TRUE(secondStartCalls());
    EXPECT_TRUE(WaitFor([&] { return events.startedAgain == 1; }));
    first.reset();
    QtPlatform third;
    EXPECT_FALSE(third.AnotherCopyRuns());
}

} // namespace
} // namespace zorvane::qt
