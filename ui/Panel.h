// What the main window uses of each of its tab panels. A panel is a child window of the main
// window; the window reaches it only through this interface.
#pragma once
#include <windows.h>

#include "tessel/Logger.h"

namespace velmora::ui {

class Panel {
public:
    virtual ~Panel() = default;
    // Creates the panel's child window (hidden) inside `parent`.
    virtual void Create(HWND parent) = 0;
    // The panel's window; null before Create and once the window is gone.
    virtual HWND Handle() const noexcept = 0;
    // Keeps the Logger and fills the panel's list, where it has one. Raises on failure.
    virtual void Init(tessel::Logger& log) = 0;
    // The panel's list view, or null for a panel without one.
    virtual HWND ListViewObject() const { return nullptr; }
    // Reads the list afresh; nothing for a panel without one.
    virtual void RefreshList() {}
    // Lays out the panel's own controls for its inner size in twips (on WM_SIZE).
    virtual void Resize(int widthTwips, int heightTwips) = 0;
};

}  // namespace velmora::ui
