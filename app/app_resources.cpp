#include "app/app_resources.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

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

QString loadQString(int id, Language language) { return QString::fromUtf8(loadString(id, language)); }

void useQtTranslations(Language language) {
    static QTranslator* chinese = nullptr; // installed while not null
    if (language == Language::Chinese && chinese == nullptr) {
        auto* translator = new QTranslator(qApp);
        if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(translator);
            chinese = translator;
        } else {
            delete translator;
        }
    } else if (language == Language::English && chinese != nullptr) {
        QCoreApplication::removeTranslator(chinese);
        delete chinese;
        chinese = nullptr;
    }
}
