#include "app/config_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QStyleFactory>
#include <QTranslator>

#include "app/app_resources.h"
#include "app/config_dialog.h"
#include "window/dialog_templates.h"

ConfigApp::ConfigApp(SerialPort& port, StartupStep startup) : port_(port), startup_(startup) {
    // The user interface is Chinese, so are the platform's own button texts.
    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    }
}

bool ConfigApp::initInstance() {
    if (!startup_()) {
        QMessageBox box(QMessageBox::Warning, applicationName(), loadQString(kStringSocketsFailed), QMessageBox::Ok);
        box.exec();
        return false;
    }

    // One style on every desktop: the templates' rectangles fit its controls.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    ConfigDialog dialog(port_);
    dialog.exec();
    return false;
}
