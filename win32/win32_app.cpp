#include "win32/win32_app.h"

#include <shellapi.h>

#include "serial/sockets.h"
#include "win32/config_dialog_win32.h"
#include "win32/dialog_template_win32.h"
#include "window/dialog_templates.h"

Win32Startup systemStartup() {
    return {[] { return startSockets(1, 1); }, &stopSockets, &MessageBoxW};
}

std::vector<std::string> commandLineArgs() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; args != nullptr && i < count; ++i) out.push_back(narrow(args[i]));
    LocalFree(args);
    return out;
}

std::optional<Language> startupLanguage(const std::vector<std::string>& args, const Win32Startup& startup) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID ui = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    const int length = LCIDToLocaleName(ui, name, LOCALE_NAME_MAX_LENGTH, 0);
    std::string complaint;
    const std::optional<Language> chosen =
        chooseLanguage(args, languageOf(length > 0 ? narrow(name) : std::string()), complaint);
    if (!chosen) {
        startup.messageBox(nullptr, widen("Ventora: " + complaint).c_str(), applicationCaption().c_str(),
                           MB_OK | MB_ICONEXCLAMATION);
    }
    return chosen;
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
