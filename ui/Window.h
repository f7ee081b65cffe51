// The two bases of the program's window objects: a `Window` for a window of a registered class,
// a `Dialog` for one made from a dialog template. The base writes the one window procedure:
// the object's pointer lives in GWLP_USERDATA from the window's first message for it
// (WM_NCCREATE, or WM_INITDIALOG for a dialog) to its last (WM_NCDESTROY), every message in
// between reaches OnMessage through the boundary under the object's source name, and the handle
// is cleared when the window goes, whoever destroys it: the object never holds a dead handle.
#pragma once
#include <windows.h>

#include <string>

namespace velmora::ui {

// What both bases share: the handle owned by the object, and the one teardown.
class OwnedWindow {
public:
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;

    // The window; null before it is made and once it is gone.
    HWND Handle() const noexcept { return hwnd_; }
    // Destroys the window if it is there. Its last messages still reach the object; a class
    // whose handlers need its own members while the window goes calls it from its destructor.
    void Destroy() noexcept;

protected:
    OwnedWindow() = default;
    // The window goes with the object. By now the object is no longer whole, so the window's
    // last messages get the system's default handling.
    ~OwnedWindow();

    // The object of `hwnd` from now on.
    void Attach(HWND hwnd) noexcept;
    // After the window's last message.
    void Detach() noexcept;
    // The object of a window, or null before its first message or after its last.
    static OwnedWindow* Attached(HWND hwnd) noexcept;

    HWND hwnd_ = nullptr;
};

class Window : public OwnedWindow {
public:
    virtual ~Window() = default;

protected:
    // `source` names the window in the log of an error stopped at its boundary.
    explicit Window(const wchar_t* source) noexcept : source_(source) {}

    // Registers the program's window class that `wc` describes, with the one procedure, unless
    // it is already there. Raises with the system's error when the system refuses; `failure`
    // (here and below) says what failed, and the system's reason follows it.
    static void RegisterClassOnce(WNDCLASSEXW wc, const wchar_t* failure);
    // Makes the window of a class registered above, owned by `owner`. Raises when the system
    // refuses.
    void Create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& place,
                HWND owner, const wchar_t* failure);

    // Every message of the window; what is not handled goes on to Default.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    const wchar_t* source_;
};

class Dialog : public OwnedWindow {
public:
    virtual ~Dialog() = default;

    // The dialog object of a window made from a template here, or null.
    static Dialog* FromHandle(HWND hwnd) noexcept;

protected:
    // `source` names the window in the log of an error stopped at its boundary.
    explicit Dialog(const wchar_t* source) noexcept : source_(source) {}

    // Registers the program's dialog class that `wc` describes (a template names it to have its
    // icon and a name of its own) unless it is already there: the dialog manager runs its
    // windows, and the template's procedure is still the one of the base. True when it was
    // registered now (the class then holds what `wc` gave it). Raises with the system's error
    // when the system refuses; `failure` (here and below) says what failed, and the system's
    // reason follows it.
    static bool RegisterClassOnce(WNDCLASSEXW wc, const wchar_t* failure);
    // Makes the window of template `templateId`, hidden, inside or owned by `parent`. Raises
    // when the system refuses.
    void CreateFromTemplate(int templateId, HWND parent, const std::wstring& failure);

    // The answer to the message being handled, where the message has one besides TRUE
    // (WM_NOTIFY's, a key preview's): given with TRUE as OnMessage's return.
    void SetResult(LRESULT result) noexcept;

    // Every message of the window, as a dialog procedure answers: FALSE for the dialog
    // manager's own handling.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    const wchar_t* source_;
};

}  // namespace velmora::ui
