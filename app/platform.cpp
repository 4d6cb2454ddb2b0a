#include "app/platform.h"

#include <QAction>
#include <QMenu>
#include <QString>
#include <cstdio>
#include <cstdlib>

bool platformStartup() { return true; }

bool appendSystemMenuEntry(QWidget&, QMenu& contextMenu, const QString& text, unsigned command) {
    contextMenu.addSeparator();
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
