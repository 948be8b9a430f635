#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

// One owner per handle. Each kind keeps a count of the handles alive, since the
// system's own GUI-object count is not available everywhere.
namespace zorvane::win32 {

template <typename Traits> class UniqueHandle {
  public:
    using pointer = typename Traits::pointer;

    UniqueHandle() = default;
    explicit UniqueHandle(pointer h) : h_(h) {
        if (valid())
            ++live_;
    }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release_keep_count()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = other.release_keep_count();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    pointer get() const { return h_; }
    bool valid() const { return h_ != Traits::invalid(); }
    explicit operator bool() const { return valid(); }

    void reset(pointer h = Traits::invalid()) {
        // Let go before closing: closing a window sends messages that may look at this.
        const pointer old = std::exchange(h_, h);
        if (old != Traits::invalid()) {
            --live_;
            Traits::close(old);
        }
        if (valid())
            ++live_;
    }
    // Hands the handle to someone else (the system, usually): no longer counted here.
    [[nodiscard]] pointer release() {
        if (valid())
            --live_;
        return std::exchange(h_, Traits::invalid());
    }

    static long live() { return live_.load(); }

  private:
    pointer release_keep_count() { return std::exchange(h_, Traits::invalid()); }

    pointer h_ = Traits::invalid();
    static inline std::atomic<long> live_{0};
};

namespace traits {
template <typename H, auto Close> struct Null {
    using pointer = H;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { Close(h); }
};
inline void DeleteGdi(HGDIOBJ h) {
    ::DeleteObject(h);
}
struct Rgn : Null<HRGN, DeleteGdi> {};
struct Brush : Null<HBRUSH, DeleteGdi> {};
struct Bitmap : Null<HBITMAP, DeleteGdi> {};
struct Dc : Null<HDC, ::DeleteDC> {};
struct Module : Null<HMODULE, ::FreeLibrary> {};
struct Window : Null<HWND, ::DestroyWindow> {};
struct Icon : Null<HICON, ::DestroyIcon> {};
struct Menu : Null<HMENU, ::DestroyMenu> {};
struct Key : Null<HKEY, ::RegCloseKey> {};
struct Handle : Null<HANDLE, ::CloseHandle> {};
} // namespace traits

using UniqueHrgn = UniqueHandle<traits::Rgn>;
using UniqueHbrush = UniqueHandle<traits::Brush>;
using UniqueHbitmap = UniqueHandle<traits::Bitmap>;
using UniqueHdc = UniqueHandle<traits::Dc>;
using UniqueHmodule = UniqueHandle<traits::Module>;
using UniqueHwnd = UniqueHandle<traits::Window>;
using UniqueHicon = UniqueHandle<traits::Icon>;
using UniqueHmenu = UniqueHandle<traits::Menu>;
using UniqueHkey = UniqueHandle<traits::Key>;
using UniqueHandleObj = UniqueHandle<traits::Handle>;

// An owned COM interface pointer.
template <typename T> class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters of creating calls.
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }

  private:
    T* p_ = nullptr;
};

} // namespace zorvane::win32
