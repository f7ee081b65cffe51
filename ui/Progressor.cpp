#include "ui/Progressor.h"

#include "inspection/AppServices.h"
#include "tessel/Error.h"
#include "ui/Boundary.h"
#include "ui/Controls.h"
#include "ui/PanelLayouts.h"

namespace velmora::ui {

namespace {

using panel_layout::TwipsToPixels;

const wchar_t kClassName[] = L"VelmoraProgressor";
const LPCWSTR kHourglassCursor = MAKEINTRESOURCEW(32514);  // IDC_WAIT
// Posted by the activation so that the window is painted before the work begins.
constexpr UINT kStartMessage = WM_APP + 0x110;
constexpr int kClientHeightTwips = 720;
constexpr int kImageLeft = 150, kImageTop = 120, kImageSize = 480;
constexpr int kLabelLeft = 780, kLabelTop = 270;

}  // namespace

FProgressor::~FProgressor() { Finalize(); }

void FProgressor::ShowProgress(const std::wstring& Caption, HWND OwnerForm, bool Modal) {
    if (!hwnd_) {
        WNDCLASSEXW wc{};
        wc.hCursor = ::LoadCursorW(nullptr, kHourglassCursor);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        RegisterClassOnce(wc, L"Cannot create the progress window");
        // A fixed dialog frame without a title bar, never in the taskbar: an owned window is kept
        // out of it by its owner, one without an owner by being a tool window.
        Create(WS_EX_DLGMODALFRAME | (OwnerForm ? 0 : WS_EX_TOOLWINDOW), kClassName, L"", WS_POPUP | WS_DLGFRAME,
               RECT{0, 0, 10, 10}, OwnerForm, L"Cannot create the progress window");
        const HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
        HWND image = ::CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_ICON, TwipsToPixels(kImageLeft),
                                       TwipsToPixels(kImageTop), TwipsToPixels(kImageSize), TwipsToPixels(kImageSize),
                                       hwnd_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (image) ::SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(::LoadCursorW(nullptr, kHourglassCursor)), 0);
        label_ = ::CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_LEFTNOWORDWRAP,
                                   TwipsToPixels(kLabelLeft), TwipsToPixels(kLabelTop), 10, 10, hwnd_, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        if (!label_) tessel::ThrowLastError("CreateWindowExW", L"Cannot create the progress text");
        ::SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // The label sizes itself to its caption; the window is that wide plus 1200 twips.
    ::SetWindowTextW(label_, Caption.c_str());
    SIZE extent{0, 0};
    ControlFontDC(label_).Extent(Caption, extent);
    ::SetWindowPos(label_, nullptr, 0, 0, extent.cx, extent.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT frame{0, 0, 0, TwipsToPixels(kClientHeightTwips)};
    ::AdjustWindowRectEx(&frame, WS_POPUP | WS_DLGFRAME, FALSE, WS_EX_DLGMODALFRAME);
    const int width = TwipsToPixels(ProgressWidthTwips(extent.cx * panel_layout::kTwipsPerPixel));
    const int height = frame.bottom - frame.top;
    RECT around{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (OwnerForm && ::IsWindowVisible(OwnerForm)) ::GetWindowRect(OwnerForm, &around);
    ::SetWindowPos(hwnd_, nullptr, around.left + (around.right - around.left - width) / 2,
                   around.top + (around.bottom - around.top - height) / 2, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);

    app::SetMousePointer(app::kHourglass);
    started_ = false;
    if (Modal) {
        RunModal(hwnd_, OwnerForm);
        Finalize();
    } else {
        ::ShowWindow(hwnd_, SW_SHOW);
    }
}

void FProgressor::Finalize() noexcept {
    tessel::PassOver([] { app::SetMousePointer(app::kDefaultPointer); });
    Destroy();
}

LRESULT FProgressor::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
        case WM_SHOWWINDOW:
            // Shown counts as activated: a program that is not in the foreground gets its
            // window shown without the activation, and the work would never start.
            if ((message == WM_ACTIVATE ? LOWORD(wParam) != WA_INACTIVE : wParam != FALSE) && !started_) {
                started_ = true;
                ::PostMessageW(hwnd_, kStartMessage, 0, 0);
            }
            break;
        case kStartMessage:
            Form_Activate();
            return 0;
        case WM_CLOSE:
            return 0;  // the window closes when the work is done, never before
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void FProgressor::Form_Activate() {
    const HWND window = hwnd_;
    // Errors of the work do not stop the hide, so that a modal show always returns; a program
    // end still passes, after the hide.
    struct Hide {
        HWND window;
        ~Hide() {
            if (::IsWindow(window)) ::ShowWindow(window, SW_HIDE);
        }
    } hide{window};
    tessel::PassOver([] { PumpPending(); });
    tessel::PassOver([&] {
        if (Started) Started();
    });
}

}  // namespace velmora::ui
