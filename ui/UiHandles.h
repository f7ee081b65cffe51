// Owners for the handles of the user interface: GDI objects, icons, menus, image lists and
// device contexts. The one place in the windows' layer that says how each kind is released; the
// kinds that are not the interface's own are in tessel/Unique.h, on the same template.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "tessel/Unique.h"

namespace velmora::ui {

// A kind of handle that holds nothing when it is null and is given back by `Release`.
template <class H, auto Release>
struct UiHandleTraits {
    using Handle = H;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { Release(h); }
};

// A pen, brush, font or bitmap made for the program (never a stock object: it is not ours).
using UniqueGdiObject = tessel::Unique<UiHandleTraits<HGDIOBJ, &::DeleteObject>>;
using UniqueBitmap = tessel::Unique<UiHandleTraits<HBITMAP, &::DeleteObject>>;
// An icon loaded without LR_SHARED (a shared icon belongs to the system and is never destroyed).
using UniqueIcon = tessel::Unique<UiHandleTraits<HICON, &::DestroyIcon>>;
// A menu that no window holds (a window's own menu goes with the window).
using UniqueMenu = tessel::Unique<UiHandleTraits<HMENU, &::DestroyMenu>>;
using UniqueImageList = tessel::Unique<UiHandleTraits<HIMAGELIST, &::ImageList_Destroy>>;
// A device context made for drawing off the screen (CreateCompatibleDC).
using UniqueMemoryDC = tessel::Unique<UiHandleTraits<HDC, &::DeleteDC>>;

// A window's device context (the screen's for no window), given back to the window at the end
// of the scope: its release names the window as well, so it is a scope of its own.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// The painting of one WM_PAINT: begun on construction, ended at the end of the scope, so that
// the window's update region is validated whatever the drawing did.
class PaintDC {
public:
    explicit PaintDC(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintDC() { ::EndPaint(window_, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A pen, brush, font or bitmap selected into a device context for the scope: the object it
// replaced is selected again at the end, so that the context goes on (or back to its owner) as
// it came. Declared after the owner of what it selects, so that the object is out first.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(dc ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_) ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace velmora::ui
