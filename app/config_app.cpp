#include "app/config_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include "app/app_resources.h"
#include "app/config_dialog.h"
#include "window/dialog_templates.h"

ConfigApp::ConfigApp(SerialPort& port, StartupStep startup, Language language)
    : port_(port),
      startup_(startup),
      language_(language) {
    useQtTranslations(language);
}

bool ConfigApp::initInstance() {
    if (!startup_()) {
        QMessageBox box(QMessageBox::Warning, applicationName(), loadQString(kStringSocketsFailed, language_),
                        QMessageBox::Ok);
        box.exec();
        return false;
    }

    // One style on every desktop: the templates' rectangles fit its controls.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    ConfigDialog dialog(port_, language_);
    dialog.exec();
    return false;
}
