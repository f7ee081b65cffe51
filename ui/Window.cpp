#include "ui/Window.h"

#include "tessel/Error.h"
#include "ui/Boundary.h"

namespace velmora::ui {

namespace {

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// Registers the class that `wc` describes unless the program has it already; true when it was
// registered now.
bool RegisterOnce(WNDCLASSEXW wc, const wchar_t* failure) {
    wc.hInstance = Instance();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) return false;
    wc.cbSize = sizeof(wc);
    if (!::RegisterClassExW(&wc)) tessel::ThrowLastError("RegisterClassExW", failure);
    return true;
}

}  // namespace

void OwnedWindow::Destroy() noexcept {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

OwnedWindow::~OwnedWindow() {
    if (hwnd_) ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    Destroy();
}

void OwnedWindow::Attach(HWND hwnd) noexcept {
    hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void OwnedWindow::Detach() noexcept {
    if (hwnd_) ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
}

OwnedWindow* OwnedWindow::Attached(HWND hwnd) noexcept {
    return reinterpret_cast<OwnedWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void Window::RegisterClassOnce(WNDCLASSEXW wc, const wchar_t* failure) {
    wc.lpfnWndProc = &Window::Proc;
    RegisterOnce(wc, failure);
}

void Window::Create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& place,
                    HWND owner, const wchar_t* failure) {
    if (::CreateWindowExW(exStyle, className, title, style, place.left, place.top, place.right - place.left,
                          place.bottom - place.top, owner, nullptr, Instance(), this))
        return;
    // A window refused after its first message was never ours.
    hwnd_ = nullptr;
    tessel::ThrowLastError("CreateWindowExW", failure);
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams)->Attach(hwnd);
    auto* self = static_cast<Window*>(Attached(hwnd));
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = HandleAtBoundary(self->source_, [&] { return self->OnMessage(message, wParam, lParam); });
    if (message == WM_NCDESTROY) self->Detach();
    return result;
}

Dialog* Dialog::FromHandle(HWND hwnd) noexcept { return static_cast<Dialog*>(Attached(hwnd)); }

bool Dialog::RegisterClassOnce(WNDCLASSEXW wc, const wchar_t* failure) {
    wc.lpfnWndProc = ::DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    return RegisterOnce(wc, failure);
}

void Dialog::CreateFromTemplate(int templateId, HWND parent, const std::wstring& failure) {
    if (!::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(templateId), parent, &Dialog::Proc,
                              reinterpret_cast<LPARAM>(this)))
        tessel::ThrowLastError("CreateDialogParamW", failure);
}

void Dialog::SetResult(LRESULT result) noexcept { ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result); }

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) reinterpret_cast<Dialog*>(lParam)->Attach(hwnd);
    Dialog* self = FromHandle(hwnd);
    if (!self) return FALSE;
    const INT_PTR result =
        HandleAtBoundary(self->source_, [&] { return self->OnMessage(message, wParam, lParam); }, INT_PTR{FALSE});
    if (message == WM_NCDESTROY) self->Detach();
    return result;
}

}  // namespace velmora::ui
