#include "Support.h"
#include "platform/qt/IniSettings.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtRuntime.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
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
    QtRuntime rt;
    const std::string values[] = {
        "/home/ユーザー/写真/ねこ 🐈.bmp", Repeat("写", 5000) + Repeat("x", 5000), "",
        "  blanks at both ends  ", "a,b, c", "\"quoted\"", "semi;colon = equals # hash [x]",
        "back\\slash \\n", "line1\nline2\r\n", "@Variant(x)", "%U3042", "True"};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::string key = "K" + std::to_string(i);
        EXPECT_TRUE(rt.SaveSetting("Kelvra", "Kelvra", key, values[i])) << i;
        EXPECT_EQ(rt.GetSetting("Kelvra", "Kelvra", key, "default"), values[i]) << i;
    }
    EXPECT_EQ(rt.GetSetting("Kelvra", "Kelvra", "Missing", "default"), "default");
    EXPECT_EQ(rt.GetSetting("Kelvra", "Other", "K0", "default"), "default");

    // Plain lines that a person (or another program) can read.
    rt.SaveSetting("Kelvra", "Kelvra", "Left", "3000");
    QFile file(QString::fromStdString(dirs.config + "/Kelvra/Kelvra.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Kelvra]\n")) << text.left(40).toStdString();
    EXPECT_TRUE(text.contains("\nLeft=3000\n"));
}

TEST(IniSettings, HandWrittenValuesThatAreNotTextReadAsTheDefault) {
    UserDirs dirs;
    QDir().mkpath(QString::fromStdString(dirs.config + "/Kelvra"));
    QFile file(QString::fromStdString(dirs.config + "/Kelvra/Kelvra.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Kelvra]\nLeft=1,2\nTop=1500\nSave=\"/pics/a,b.bmp\"\nScale=@ByteArray(x)\n");
    file.close();
    const std::pair<const char*, std::string> cases[] = {
        {"Left", "default"}, {"Top", "1500"}, {"Save", "/pics/a,b.bmp"}, {"Scale", "default"}};
    for (const auto& [key, want] : cases)
        EXPECT_EQ(ReadSetting("Kelvra", "Kelvra", key).value_or("default"), want) << key;
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
        {good.c_str(), good},           {open.c_str(), fallback}, {others.c_str(), fallback},
        {"relative", fallback},         {nullptr, fallback},      {"/no/such/folder", fallback},
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
        {"theirs", [](const std::string& n) {
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

TEST(PrevInstance, ASecondRuntimeSeesTheFirstUntilItGoes) {
    UserDirs dirs;
    auto first = std::make_unique<QtRuntime>();
    EXPECT_FALSE(first->PrevInstance());
    EXPECT_FALSE(first->PrevInstance()); // its own lock is no other copy
    {
        QtRuntime second;
        EXPECT_TRUE(second.PrevInstance());
    }
    first.reset();
    QtRuntime third;
    EXPECT_FALSE(third.PrevInstance());
}

} // namespace
} // namespace zorvane::qt
