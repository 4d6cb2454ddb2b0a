#include "win32/config_dialog_win32.h"

#include <vector>

#include "window/label_fit.h"

#include "win32/dialog_template_win32.h"
#include "window/dialog_templates.h"
#include "window/minimised_icon.h"

namespace {

constexpr DWORD kMainStyle =
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_3DLOOK;
constexpr DWORD kMainExStyle = WS_EX_APPWINDOW;
constexpr DWORD kAboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// IDC_WAIT, whose own definition follows the ANSI or wide choice of the build.
const LPCWSTR kWaitCursor = MAKEINTRESOURCEW(32514);

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

INT_PTR CALLBACK aboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: centreDialog(hwnd); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

} // namespace

void runAboutDialog(HWND owner, Language language) {
    const DialogTemplateBlock about(kAboutTemplate, language, kAboutStyle, 0);
    DialogBoxIndirectParamW(instance(), about.get(), owner, aboutProc, 0);
}

void centreDialog(HWND dialog) {
    RECT area;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr || !GetWindowRect(owner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT own;
    GetWindowRect(dialog, &own);
    const int x = area.left + ((area.right - area.left) - (own.right - own.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring applicationCaption() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return widen(applicationNameOf(narrow(std::wstring(path, n))));
}

Win32ConfigDialog::Win32ConfigDialog(SerialPort& port, Language language, ReceiveThread::Starter startThread)
    : window_(port, *this, startThread) {
    window_.setLanguage(language);
}

Win32ConfigDialog::~Win32ConfigDialog() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

INT_PTR Win32ConfigDialog::runModal() {
    modal_ = true;
    const DialogTemplateBlock main(kMainTemplate, window_.language(), kMainStyle, kMainExStyle);
    return DialogBoxIndirectParamW(instance(), main.get(), nullptr, dialogProc, reinterpret_cast<LPARAM>(this));
}

HWND Win32ConfigDialog::createModeless() {
    modal_ = false;
    const DialogTemplateBlock main(kMainTemplate, window_.language(), kMainStyle, kMainExStyle);
    return CreateDialogIndirectParamW(instance(), main.get(), nullptr, dialogProc, reinterpret_cast<LPARAM>(this));
}

namespace {

// Labels whose text is wider than their template rectangle in the face at hand
// grow as the Qt view's do, rather than clip.
void fitLabels(HWND dialog) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
    const auto rectOf = [dialog](HWND c) {
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
        return PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    HDC dc = GetDC(dialog);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (HWND c : children) {
        wchar_t kind[16] = {};
        GetClassNameW(c, kind, 16);
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        if (lstrcmpiW(kind, L"Static") != 0 || (style & SS_TYPEMASK) == SS_ICON) continue;
        wchar_t text[128] = {};
        const int length = GetWindowTextW(c, text, 128);
        SIZE size{};
        if (length == 0 || !GetTextExtentPoint32W(dc, text, length, &size)) continue;
        std::vector<PixelRect> others;
        for (HWND other : children)
            if (other != c) others.push_back(rectOf(other));
        const PixelRect fitted = fitLabel(rectOf(c), size.cx, (style & SS_TYPEMASK) == SS_RIGHT, others);
        MoveWindow(c, fitted.x, fitted.y, fitted.w, fitted.h, FALSE);
    }
    SelectObject(dc, previous);
    ReleaseDC(dialog, dc);
}

} // namespace

INT_PTR CALLBACK Win32ConfigDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32ConfigDialog*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32ConfigDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

// Returns what a dialog procedure returns: TRUE when the message was dealt
// with, FALSE to leave it to the dialog manager's default handling.
INT_PTR Win32ConfigDialog::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        centreDialog(hwnd_);
        fitLabels(hwnd_);
        window_.initDialog();
        return TRUE; // the focus goes to the first tab stop, the port list
    case WM_SYSCOMMAND:
        if (!dispatch(EventMessage::SysCommand, unsigned(wParam))) return FALSE;
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_PAINT: return dispatch(EventMessage::Paint, 0) ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return dispatch(EventMessage::QueryDragIcon, 0) ? reinterpret_cast<INT_PTR>(dialogIcon_) : FALSE;
    case WM_TIMER: return dispatch(EventMessage::Timer, unsigned(wParam)) ? TRUE : FALSE;
    case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        // Enter outside a push button, Escape and the Close button arrive
        // as these two, and end the run without asking.
        if (id == IDOK || id == IDCANCEL) {
            end(id);
            return TRUE;
        }
        if (id == kPortList) {
            portListNotification(code);
            return FALSE;
        }
        return code == BN_CLICKED && dispatch(EventMessage::Command, id) ? TRUE : FALSE;
    }
    case WM_DESTROY:
        if (timer_ != 0) KillTimer(hwnd_, timer_);
        timer_ = 0;
        window_.shutDown();
        return FALSE;
    case WM_NCDESTROY: hwnd_ = nullptr; return FALSE;
    default: return FALSE;
    }
}

// The combo box's own matching moves its selection as text is typed (to the
// entry the text begins, or to none), so the port is the entry last picked
// from the list, and what was typed is put back to it when the focus leaves.
void Win32ConfigDialog::portListNotification(WORD code) {
    switch (code) {
    case CBN_EDITCHANGE: typing_ = true; break;
    case CBN_DROPDOWN: typing_ = false; break;
    case CBN_SELCHANGE:
        if (!typing_) {
            const auto index = SendDlgItemMessageW(hwnd_, kPortList, CB_GETCURSEL, 0, 0);
            if (index != CB_ERR) chosenPort_ = int(index);
        }
        break;
    case CBN_KILLFOCUS:
        if (typing_) SendDlgItemMessageW(hwnd_, kPortList, CB_SETCURSEL, WPARAM(chosenPort_), 0);
        typing_ = false;
        break;
    default: break;
    }
}

void Win32ConfigDialog::end(INT_PTR command) {
    if (modal_) {
        EndDialog(hwnd_, command);
    } else {
        DestroyWindow(hwnd_);
    }
}

int Win32ConfigDialog::selectedPortIndex() { return chosenPort_; }

std::string Win32ConfigDialog::boxText(int controlId) {
    HWND box = GetDlgItem(hwnd_, controlId);
    std::wstring text(std::size_t(GetWindowTextLengthW(box)) + 1, L'\0');
    text.resize(std::size_t(GetDlgItemTextW(hwnd_, controlId, text.data(), int(text.size()))));
    return narrow(text);
}

void Win32ConfigDialog::setBoxText(int controlId, const std::string& text) {
    SetDlgItemTextW(hwnd_, controlId, widen(text).c_str());
}

int Win32ConfigDialog::readBoxInt(int controlId) {
    BOOL translated = FALSE;
    const int value = int(GetDlgItemInt(hwnd_, controlId, &translated, TRUE));
    return translated ? value : 0;
}

void Win32ConfigDialog::writeBoxInt(int controlId, int value) { SetDlgItemInt(hwnd_, controlId, UINT(value), TRUE); }

void Win32ConfigDialog::messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) {
    showMessageBox(widen(text), caption ? widen(*caption) : applicationCaption(), MB_OK | type);
}

void Win32ConfigDialog::showMessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    MessageBoxW(hwnd_, text.c_str(), caption.c_str(), type);
}

void Win32ConfigDialog::logLine(const std::string& line) { OutputDebugStringW(widen(line + "\n").c_str()); }

void Win32ConfigDialog::enableControl(int controlId, bool on) { EnableWindow(GetDlgItem(hwnd_, controlId), on); }

void Win32ConfigDialog::appendSystemMenuEntry(const std::string& text, unsigned command, bool afterSeparator) {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu == nullptr) return;
    if (afterSeparator) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, command, widen(text).c_str());
}

void Win32ConfigDialog::renameSystemMenuEntry(unsigned command, const std::string& text) {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu != nullptr) ModifyMenuW(menu, command, MF_BYCOMMAND | MF_STRING, command, widen(text).c_str());
}

// The children are the template's controls in creation order; each label goes
// back to its template rectangle before it is fitted to its new text.
void Win32ConfigDialog::showTexts(Language language) {
    SetWindowTextW(hwnd_, widen(uiText(kMainTemplate.caption, language)).c_str());
    HWND child = GetWindow(hwnd_, GW_CHILD);
    for (const ControlTemplate& c : kMainTemplate.controls) {
        if (child == nullptr) break;
        if (c.text != TextId::None) {
            RECT r{c.x, c.y, c.x + c.w, c.y + c.h};
            MapDialogRect(hwnd_, &r);
            MoveWindow(child, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
            SetWindowTextW(child, widen(uiText(c.text, language)).c_str());
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    fitLabels(hwnd_);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32ConfigDialog::setDialogIcon() {
    dialogIcon_ = LoadIconW(instance(), MAKEINTRESOURCEW(kAppIconId));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(dialogIcon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(dialogIcon_));
}

void Win32ConfigDialog::addPort(const std::string& name) {
    SendDlgItemMessageW(hwnd_, kPortList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(name).c_str()));
}

void Win32ConfigDialog::selectPort(int index) {
    SendDlgItemMessageW(hwnd_, kPortList, CB_SETCURSEL, WPARAM(index), 0);
    chosenPort_ = index;
}

void Win32ConfigDialog::setTimer(unsigned timerId, int periodMs) {
    timer_ = SetTimer(hwnd_, timerId, UINT(periodMs), nullptr);
}

void Win32ConfigDialog::showAbout() { runAboutBox(); }

void Win32ConfigDialog::runAboutBox() { runAboutDialog(hwnd_, window_.language()); }

bool Win32ConfigDialog::paintMinimised() {
    if (!IsIconic(hwnd_)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd_, &client);
    const IconOrigin at = iconOrigin(client.right - client.left, client.bottom - client.top,
                                     GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, dialogIcon_);
    EndPaint(hwnd_, &paint);
    return true;
}

bool Win32ConfigDialog::queryDragIcon() { return dialogIcon_ != nullptr; }

void Win32ConfigDialog::setBusyCursor(bool on) {
    if (on) {
        cursorBeforeBusy_ = SetCursor(LoadCursorW(nullptr, kWaitCursor));
    } else {
        SetCursor(cursorBeforeBusy_);
    }
}
