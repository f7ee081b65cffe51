#include "ui/ToolsDialog.h"

#include <vector>

#include "tessel/Error.h"
#include "tessel/Text.h"

namespace velmora::ui::tools_dialog {

namespace {
constexpr int kTwipsPerPixel = 15;

BOOL CALLBACK FirstIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
    *reinterpret_cast<LPWSTR*>(found) = name;
    return FALSE;
}
}  // namespace

int TwipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

void Place(HWND dialog, int clientWidthTwips, int clientHeightTwips, const TwipsRect* controls, int count) {
    RECT frame{0, 0, TwipsToPixels(clientWidthTwips), TwipsToPixels(clientHeightTwips)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    ::SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int i = 0; i < count; ++i) {
        const TwipsRect& c = controls[i];
        if (HWND control = ::GetDlgItem(dialog, c.id))
            ::MoveWindow(control, TwipsToPixels(c.left), TwipsToPixels(c.top), TwipsToPixels(c.width),
                         TwipsToPixels(c.height), FALSE);
    }
}

void FitLabelToText(HWND label) {
    const std::wstring text = WindowText(label);
    HDC dc = ::GetDC(label);
    if (!dc) return;
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    ::SetWindowPos(label, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowProgramIcon(HWND picture) {
    HMODULE program = ::GetModuleHandleW(nullptr);
    LPWSTR group = nullptr;
    ::EnumResourceNamesW(program, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, FirstIconGroup,
                         reinterpret_cast<LONG_PTR>(&group));
    if (!group) return;
    // A shared icon stays with the program; the control does not own it.
    if (HANDLE icon = ::LoadImageW(program, group, IMAGE_ICON, 32, 32, LR_SHARED))
        ::SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void CenterOver(HWND dialog, HWND owner) {
    RECT area{};
    if (!owner || !::GetWindowRect(owner, &area) || ::IsIconic(owner))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT self{};
    ::GetWindowRect(dialog, &self);
    const int w = self.right - self.left, h = self.bottom - self.top;
    const int x = area.left + ((area.right - area.left) - w) / 2;
    const int y = area.top + ((area.bottom - area.top) - h) / 2;
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    if (n <= 0) return {};
    std::vector<wchar_t> buf(static_cast<std::size_t>(n) + 1);
    const int got = ::GetWindowTextW(window, buf.data(), n + 1);
    return std::wstring(buf.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

std::wstring CurrentErrorDescription() {
    try {
        throw;
    } catch (const tessel::Error& e) {
        return e.Description();
    } catch (const std::exception& e) {
        return tessel::text::FromUtf8(e.what());
    } catch (...) {
        return L"Unexpected error";
    }
}

int ShiftState() {
    int shift = 0;
    if (::GetKeyState(VK_SHIFT) & 0x8000) shift |= 1;
    if (::GetKeyState(VK_CONTROL) & 0x8000) shift |= 2;
    if (::GetKeyState(VK_MENU) & 0x8000) shift |= 4;
    return shift;
}

}  // namespace velmora::ui::tools_dialog
