// ventora-startup-probe: the Ventora window as it starts on the computer's
// serial ports, which prints "shown" on standard output as soon as the main
// dialog is shown and then closes it, ending the program. The benchmark times
// start-up with it, so the shipping executables carry no probe.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>

#include "app/config_app.h"
#include "app/config_dialog.h"
#include "app/platform.h"
#include "serial/serial_port.h"

namespace {

class StartupProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<ConfigDialog*>(watched)) {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
                qApp->removeEventFilter(this);
            }
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (!platformHasDisplay("ventora-startup-probe")) return 1;
    SerialPort port;
    QApplication app(argc, argv);
    app.installEventFilter(new StartupProbe(&app));
    ConfigApp configApp(port);
    configApp.initInstance();
    return 0;
}
