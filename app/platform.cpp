#include "app/platform.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "window/start_request.h"

bool platformStartup() { return true; }

bool appendSystemMenuEntry(QWidget&, QMenu& contextMenu, const QString& text, unsigned command, bool afterSeparator) {
    if (afterSeparator) contextMenu.addSeparator();
    QAction* entry = contextMenu.addAction(text);
    entry->setData(command);
    return true;
}

bool platformHasDisplay(const char* program) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    std::fprintf(stderr,
                 "%s: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Start it from a desktop session, or over ssh -X.\n",
                 program);
    return false;
}

namespace {

Language systemLanguage() {
    const QStringList uiLanguages = QLocale::system().uiLanguages();
    return languageOf(uiLanguages.isEmpty() ? std::string() : uiLanguages.first().toStdString());
}

} // namespace

int readStartup(const char* program, int argc, char** argv, const std::vector<std::string_view>& ownFlags,
                bool qtTookItsOwn, Language& language) {
    const StartRequest request = readStartRequest(program, std::vector<std::string>(argv + 1, argv + argc),
                                                  systemLanguage(), ownFlags, !qtTookItsOwn);
    language = request.language;
    if (request.action == StartRequest::Action::Refuse)
        std::fprintf(stderr, "%s: %s\n", program, request.text.c_str());
    else if (request.action != StartRequest::Action::Open)
        std::fputs(request.text.c_str(), stdout);
    return request.exitStatus();
}

std::optional<Language> startupLanguage(const char* program, int argc, char** argv) {
    const Language system = systemLanguage();
    std::string complaint;
    const std::optional<Language> chosen =
        chooseLanguage(std::vector<std::string>(argv + 1, argv + argc), system, complaint);
    if (!chosen) std::fprintf(stderr, "%s: %s\n", program, complaint.c_str());
    return chosen;
}
