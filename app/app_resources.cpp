#include "app/app_resources.h"

#include <QCoreApplication>

#include "window/config_window.h"
#include "window/dialog_templates.h"

// Q_INIT_RESOURCE has to be used outside any namespace.
static void initResources() { Q_INIT_RESOURCE(ventora); }

QIcon applicationIcon() {
    static const bool loaded = (initResources(), true);
    (void)loaded;
    return QIcon(QStringLiteral(":/ventora/ventora.png"));
}

QString applicationName() {
    return QString::fromStdString(applicationNameOf(QCoreApplication::applicationFilePath().toStdString()));
}

QString loadQString(int id) { return QString::fromUtf8(loadString(id)); }
