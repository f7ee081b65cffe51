#include "ui/AboutWindow.h"

#include <string>

#include "ui/Boundary.h"
#include "ui/Controls.h"
#include "ui/HomePage.h"
#include "ui/MainLayout.h"
#include "ui/MainWindowIds.h"
#include "ui/PanelCommon.h"
#include "ui/PanelLayouts.h"

namespace velmora::ui {

namespace {

using panel_layout::TwipsToPixels;

const COLORREF kBackground = RGB(0, 0, 102);
const wchar_t kOldProcProperty[] = L"Velmora.FAbout.Proc";

const wchar_t kAboutText[] =
    L"Velmora Version 4.53\r\n\r\n"
    L"Removes about:blank home page hijackers\r\n"
    L"Copyright (c) Ardentis Software.\r\n"
    L"All rights reserved.\r\n";

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// A label that sizes itself to its text, as the window's labels do.
SIZE TextSize(HWND control, const std::wstring& text) { return ControlFontDC(control).Drawn(text, DT_NOPREFIX); }

FAbout* Self(HWND window) { return static_cast<FAbout*>(Dialog::FromHandle(window)); }

}  // namespace

void FAbout::Load(HWND owner) {
    if (hwnd_) return;
    owner_ = owner;
    background_.reset(::CreateSolidBrush(kBackground));
    visitCursor_ = ::LoadCursorW(Instance(), MAKEINTRESOURCEW(IDC_VISIT_CURSOR));
    CreateFromTemplate(IDD_ABOUT, owner, L"The About window cannot be created");
}

void FAbout::ShowModal(HWND owner) {
    Load(owner);
    RunModal(hwnd_, owner);
    // Unloaded once the modal display returns; the owner gets the activation back.
    Destroy();
    if (owner && ::IsWindowVisible(owner)) ::SetActiveWindow(owner);
}

LRESULT CALLBACK FAbout::VisitLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto old = reinterpret_cast<WNDPROC>(::GetPropW(label, kOldProcProperty));
    FAbout* self = Self(::GetParent(label));
    if (self) {
        if (message == WM_SETCURSOR && self->visitCursor_) {
            ::SetCursor(self->visitCursor_);
            return TRUE;
        }
        const int button = message == WM_LBUTTONUP ? 1 : message == WM_RBUTTONUP ? 2 : message == WM_MBUTTONUP ? 4 : 0;
        if (button) HandleAtBoundaryVoid(L"FAbout.lblVisitLumeno_MouseUp", [&] { self->lblVisitLumeno_MouseUp(button); });
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        ::RemovePropW(label, kOldProcProperty);
    }
    return old ? ::CallWindowProcW(old, label, message, wParam, lParam) : ::DefWindowProcW(label, message, wParam, lParam);
}

INT_PTR FAbout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Form_Load();
            return FALSE;
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(background_.get());
        case WM_CTLCOLORSTATIC:
            ::SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(background_.get());
        case WM_PAINT:
            Paint();
            return TRUE;
        case WM_DRAWITEM:
            if (wParam == IDOK) {
                DrawOkButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:  // Esc, as the window's key press handler gets it
                    cmdOK_Click();
                    return TRUE;
                case IDC_ABOUT_IMAGE:
                    if (HIWORD(wParam) == STN_DBLCLK) Image1_DblClick();
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_CLOSE:
            cmdOK_Click();
            return TRUE;
        default:
            return FALSE;
    }
}

void FAbout::Form_Load() {
    const int t = twipsPerPixel_;
    // No border and no title bar: the resource compiler gives every captioned template one.
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU));
    ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE,
                        ::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE));
    // The inner size, centred on the owner.
    RECT frame{0, 0, TwipsToPixels(kAboutWidth, t), TwipsToPixels(kAboutHeight, t)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    const int cx = frame.right - frame.left, cy = frame.bottom - frame.top;
    RECT around{};
    if (!owner_ || !::GetWindowRect(owner_, &around)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    ::SetWindowPos(hwnd_, nullptr, around.left + ((around.right - around.left) - cx) / 2,
                   around.top + ((around.bottom - around.top) - cy) / 2, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);

    panel_layout::Geometry geometry;
    geometry.boxes[IDC_ABOUT_IMAGE] = {240, 240, 960, 960};
    geometry.boxes[IDC_ABOUT_FRAME] = {240, 1830, 4605, 20};
    geometry.boxes[IDOK] = {3810, 2460, 1135, 360};
    // The button's caption follows the rule of every window's; it keeps its right edge.
    panel_common::FitCaptions(hwnd_, geometry, {{IDOK, panel_layout::Grow::Left}});
    panel_common::ApplyGeometry(hwnd_, geometry);

    const HWND name = ::GetDlgItem(hwnd_, IDC_ABOUT_NAME);
    ::SetWindowTextW(name, kAboutText);
    const SIZE nameSize = TextSize(name, kAboutText);
    ::SetWindowPos(name, nullptr, TwipsToPixels(1440, t), TwipsToPixels(240, t), nameSize.cx, nameSize.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);

    // The visit label sizes itself to its one line; its bottom is level with the button's.
    const HWND visit = ::GetDlgItem(hwnd_, IDC_ABOUT_VISIT);
    const SIZE visitSize = TextSize(visit, WindowText(visit));
    ::SetWindowPos(visit, nullptr, TwipsToPixels(240, t), TwipsToPixels(2460 + 360, t) - visitSize.cy, visitSize.cx,
                   visitSize.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetPropW(visit, kOldProcProperty,
               reinterpret_cast<HANDLE>(::SetWindowLongPtrW(visit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(VisitLabelProc))));
}

// The white double frame, drawn on every paint so that it stays while the window is open.
void FAbout::Paint() {
    const PaintDC paint(hwnd_);
    const HDC dc = paint.get();
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int t = twipsPerPixel_;
    const UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    const SelectedObject selected(dc, pen.get());
    for (const TwipLine& line : AboutFrameLines(client.right * t, client.bottom * t)) {
        // To the nearest pixel: 14 twips is the next pixel in.
        ::MoveToEx(dc, TwipsToPixels(line.x1, t), TwipsToPixels(line.y1, t), nullptr);
        ::LineTo(dc, TwipsToPixels(line.x2, t), TwipsToPixels(line.y2, t));
    }
}

void FAbout::DrawOkButton(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    const UniqueGdiObject grey(::CreateSolidBrush(RGB(192, 192, 192)));
    ::FillRect(item.hDC, &r, static_cast<HBRUSH>(grey.get()));
    ::DrawEdge(item.hDC, &r, (item.itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, RGB(0, 0, 0));
    ::DrawTextW(item.hDC, L"OK", 2, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (item.itemState & ODS_FOCUS) {
        ::InflateRect(&r, -4, -4);
        ::DrawFocusRect(item.hDC, &r);
    }
}

void FAbout::cmdOK_Click() {
    // Hiding ends the modal display; the menu handler then unloads the window.
    if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void FAbout::Image1_DblClick() { OpenMakerHomePage(); }

void FAbout::lblVisitLumeno_MouseUp(int Button) {
    if (Button == 1) Image1_DblClick();
}

}  // namespace velmora::ui
