#include "app/platform.h"

#include <QAction>
#include <QByteArray>
#include <QMenu>
#include <QString>
#include <cstdlib>

bool platformStartup() { return true; }

bool appendSystemMenuEntry(QWidget&, QMenu& contextMenu, const QString& text, unsigned command) {
    contextMenu.addSeparator();
    QAction* entry = contextMenu.addAction(text);
    entry->setData(command);
    return true;
}

bool nativeSystemCommand(const QByteArray&, void*, unsigned&) { return false; }

bool platformHasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}
