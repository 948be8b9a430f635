#include "platform/win32/DllSearch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace zorvane::win32 {
namespace {

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// zvplanted.dll (Planted.c) sits beside this test, as a stranger's DLL would beside a
// downloaded program, and leaves a mark when loaded. The restriction holds for the
// rest of this process, as it does in the program.
TEST(DllSearch, ADllBesideTheProgramOrInTheCurrentFolderIsNotLoadedByName) {
    const std::wstring mark = ExeFolder() + L"zvplanted.dll.loaded";
    DeleteFileW(mark.c_str());
    // Unrestricted, the name finds the planted file.
    HMODULE planted = LoadLibraryW(L"zvplanted.dll");
    ASSERT_NE(planted, nullptr);
    EXPECT_TRUE(Exists(mark));
    FreeLibrary(planted);
    ASSERT_EQ(GetModuleHandleW(L"zvplanted.dll"), nullptr);
    DeleteFileW(mark.c_str());

    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(ExeFolder().c_str());
    ASSERT_TRUE(RestrictDllSearch());
    EXPECT_EQ(LoadLibraryW(L"zvplanted.dll"), nullptr);
    EXPECT_FALSE(Exists(mark));
    SetCurrentDirectoryW(previous);

    // System DLLs still load by name.
    HMODULE system = LoadLibraryW(L"msimg32.dll");
    EXPECT_NE(system, nullptr);
    if (system)
        FreeLibrary(system);
}

} // namespace
} // namespace zorvane::win32
