#include "win32/win32_app.h"

#include <shellapi.h>

#include "serial/sockets.h"
#include "win32/config_dialog_win32.h"
#include "win32/dialog_template_win32.h"
#include "window/dialog_templates.h"
#include "window/start_request.h"

Win32Startup systemStartup() {
    return {[] { return startSockets(1, 1); }, &stopSockets, &MessageBoxW, &standardOut};
}

std::vector<std::string> commandLineArgs() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; args != nullptr && i < count; ++i) out.push_back(narrow(args[i]));
    LocalFree(args);
    return out;
}

bool standardOut(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    bool own = false;
    // A window program's standard output is only there when redirected.
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        own = true;
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
    if (own) CloseHandle(out);
    return ok;
}

int readStartup(const std::vector<std::string>& args, Language& language, const Win32Startup& startup) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID ui = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    const int length = LCIDToLocaleName(ui, name, LOCALE_NAME_MAX_LENGTH, 0);
    const StartRequest request =
        readStartRequest("Ventora", args, languageOf(length > 0 ? narrow(name) : std::string()), {}, false);
    language = request.language;
    if (request.action == StartRequest::Action::Refuse) {
        startup.messageBox(nullptr, widen("Ventora: " + request.text).c_str(), applicationCaption().c_str(),
                           MB_OK | MB_ICONEXCLAMATION);
    } else if (request.action != StartRequest::Action::Open && !startup.writeOut(request.text)) {
        startup.messageBox(nullptr, widen(request.text).c_str(), applicationCaption().c_str(),
                           MB_OK | MB_ICONINFORMATION);
    }
    return request.exitStatus();
}

int runVentora(SerialPort& port, const Win32Startup& startup, Language language) {
    if (!startup.startSockets()) {
        startup.messageBox(nullptr, widen(loadString(kStringSocketsFailed, language)).c_str(),
                           applicationCaption().c_str(), MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    {
        Win32ConfigDialog dialog(port, language);
        dialog.runModal();
    }
    startup.stopSockets();
    return 0;
}
