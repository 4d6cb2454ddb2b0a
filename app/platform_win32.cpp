#include "app/platform.h"

#include <windows.h>

#include <QByteArray>
#include <QMenu>
#include <QString>
#include <QWidget>
#include <cstdlib>

#include "window/sockets.h"

bool platformStartup() {
    if (!startSockets()) return false;
    std::atexit(stopSockets);
    return true;
}

bool appendSystemMenuEntry(QWidget& window, QMenu&, const QString& text, unsigned command) {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
    if (menu == nullptr) return false;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, command, reinterpret_cast<const wchar_t*>(text.utf16()));
    return true;
}

bool nativeSystemCommand(const QByteArray& eventType, void* message, unsigned& command) {
    if (eventType != "windows_generic_MSG") return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND) return false;
    command = static_cast<unsigned>(msg->wParam);
    return true;
}

bool platformHasDisplay(const char*) { return true; }
