// What every window of the program reads from its controls (their text, a list view's cell, the
// modifier keys of a key event, the size of a text in a control's own font), with the owners of
// the handles they draw with.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

#include "ui/UiHandles.h"

namespace velmora::ui {

std::wstring WindowText(HWND window);

// The text of one cell of a list view, however long.
std::wstring ListCellText(HWND listView, int row, int column);

// The modifier bits of a key event as the handlers take them: 1 Shift, 2 Ctrl, 4 Alt.
int ShiftState();

// A control's device context with the control's font selected, for measuring text as the
// control shows it; the font is put back and the context released at the end of the scope.
class ControlFontDC {
public:
    explicit ControlFontDC(HWND control);
    ControlFontDC(const ControlFontDC&) = delete;
    ControlFontDC& operator=(const ControlFontDC&) = delete;

    // False when the control gave no device context: nothing can be measured then.
    explicit operator bool() const noexcept { return static_cast<bool>(dc_); }
    // The size of one line of text (no access-key marks); false when it cannot be measured.
    bool Extent(std::wstring_view text, SIZE& size) const;
    // The size DrawText gives the text with `format` (DT_CALCRECT is added), wrapped at `width`
    // pixels with DT_WORDBREAK; zero when it cannot.
    SIZE Drawn(std::wstring_view text, UINT format, int width = 0) const;

private:
    WindowDC dc_;
    SelectedObject font_;
};

}  // namespace velmora::ui
