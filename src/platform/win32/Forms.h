#pragma once

#include "host/Runtime.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Window.h"

#include <memory>
#include <optional>
#include <vector>

namespace zorvane::win32 {

class Win32Runtime;

// A Form over a top-level window; positions and sizes in twips of the outer rectangle.
class WindowForm : public Form {
public:
    float Left() override;
    float Top() override;
    float Width() override;
    float Height() override;
    void SetLeft(float twips) override;
    void SetTop(float twips) override;
    void SetWidth(float twips) override;
    void SetHeight(float twips) override;
    bool Visible() override;
    void SetVisible(bool visible) override;
    void Show() override;
    void Hide() override;
    void SetTopmost(bool on) override;
    void Unload() override;

protected:
    explicit WindowForm(Win32Runtime& rt) : rt_(rt) {}
    ~WindowForm() = default;
    virtual HWND FormHandle() const = 0;
    RECT Bounds() const;
    void Place(int x, int y, int width, int height, UINT flags);

    Win32Runtime& rt_;
};

// TIMESTMP: hidden; owns the tray icon and receives its notifications.
class HostWindow final : public BaseWindow<HostWindow>, public WindowForm {
public:
    explicit HostWindow(Win32Runtime& rt);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void Unload() override;

private:
    HWND FormHandle() const override { return hwnd(); }
    UINT taskbarCreated_ = 0;
    UINT startedAgain_ = 0;
};

class DispWindow;

// The shape control on C_Disp: paints the picture and cuts the window to its outline.
class Vesquin final : public ShapeControl {
public:
    explicit Vesquin(DispWindow& window) : window_(window) {}

    void SetAutoSize(bool) override {} // it always takes the picture's size
    void SetDragMovesForm(bool on) override { dragMovesForm_ = on; }
    void SetPicture(std::shared_ptr<const Picture> picture) override;
    float Left() override { return 0; } // at the window's top left corner, never moved
    float Width() override;
    float Height() override;
    bool BlendsPixels() override;
    void CutTo(const Cutout& cut) override;
    void PlainRectangle() override;
    void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) override;

    const Picture* picture() const { return picture_.get(); }
    // The cutout's pixels while the window shows them; null otherwise.
    const std::uint32_t* cutPixels() const;
    bool dragMovesForm() const { return dragMovesForm_; }

private:
    // Premultiplied pixels of the layered window's size, selected into a memory DC.
    struct Surface {
        UniqueHdc dc;
        UniqueHbitmap bitmap;
        HGDIOBJ before = nullptr; // what the DC held, put back before the bitmap goes
        void* bits = nullptr;
        int width = 0, height = 0;
        ~Surface() {
            if (dc && before)
                SelectObject(dc.get(), before);
        }
    };
    bool Layered() const;
    void SetLayered(bool on);
    bool PrepareSurface(int width, int height);

    DispWindow& window_;
    std::shared_ptr<const Picture> picture_;
    std::unique_ptr<Surface> surface_;
    std::optional<std::vector<Rect>> regionRects_; // of the window's region, while it has one
    bool cut_ = false; // the surface holds the cutout the window shows
    bool dragMovesForm_ = false;
};

// C_Disp: a frameless window of exactly the picture's size, without a taskbar button.
class DispWindow final : public BaseWindow<DispWindow>, public WindowForm {
public:
    explicit DispWindow(Win32Runtime& rt);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    Vesquin& Vesquin1() { return vesquin1_; }
    Win32Runtime& runtime() { return rt_; }

private:
    HWND FormHandle() const override { return hwnd(); }
    void Paint();
    LRESULT MouseEvent(int button, WPARAM wp, LPARAM lp);

    Vesquin vesquin1_{*this};
};

// The WM_COMMAND id of a command menu item.
UINT CommandId(MenuItem item);

// C_Menu: hidden; owns the command menu and receives its clicks.
class MenuWindow final : public BaseWindow<MenuWindow>, public WindowForm {
public:
    explicit MenuWindow(Win32Runtime& rt);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    bool Checked(MenuItem item) const;
    void SetChecked(MenuItem item, bool checked);
    void Popup(int x, int y);

private:
    HWND FormHandle() const override { return hwnd(); }
};

} // namespace zorvane::win32
