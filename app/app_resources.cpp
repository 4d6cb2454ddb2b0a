#include "app/app_resources.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "app/res/dialog_templates.h"

// Q_INIT_RESOURCE has to be used outside any namespace.
static void initResources() { Q_INIT_RESOURCE(ventora); }

QIcon applicationIcon() {
    static const bool loaded = (initResources(), true);
    (void)loaded;
    return QIcon(QStringLiteral(":/ventora/ventora.png"));
}

QString applicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString loadQString(int id) {
    return QString::fromUtf8(loadString(id));
}
