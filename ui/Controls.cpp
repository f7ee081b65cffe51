#include "ui/Controls.h"

#include <commctrl.h>

#include <vector>

namespace velmora::ui {

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int got = ::GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

std::wstring ListCellText(HWND listView, int row, int column) {
    std::wstring text(512, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const int n = static_cast<int>(
            ::SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        // A text that filled the buffer may have been cut: read it again into a larger one.
        if (n < static_cast<int>(text.size()) - 1) {
            text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

int ShiftState() {
    int state = 0;
    if (::GetKeyState(VK_SHIFT) < 0) state |= 1;
    if (::GetKeyState(VK_CONTROL) < 0) state |= 2;
    if (::GetKeyState(VK_MENU) < 0) state |= 4;
    return state;
}

ControlFontDC::ControlFontDC(HWND control)
    : dc_(control), font_(dc_.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0))) {}

bool ControlFontDC::Extent(std::wstring_view text, SIZE& size) const {
    return dc_ && ::GetTextExtentPoint32W(dc_.get(), text.data(), static_cast<int>(text.size()), &size);
}

SIZE ControlFontDC::Drawn(std::wstring_view text, UINT format, int width) const {
    RECT r{0, 0, width, 0};
    if (dc_) ::DrawTextW(dc_.get(), text.data(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace velmora::ui
