// ventora-startup-probe: the Ventora window as it starts on the computer's
// serial ports, which prints "shown" on standard output as soon as the main
// dialog is shown and then closes it, ending the program. The benchmark times
// start-up with it, so the shipping executables carry no probe.
//
// With --detect DEVICE, port 1 is DEVICE, and once shown the probe clicks
// "测试波特率", then prints the time from the click to the message box that
// reports the outcome, and the box's text ("detection 1052.3 设备地址：1 ...").

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "app/config_app.h"
#include "app/config_dialog.h"
#include "app/platform.h"
#include "serial/local/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

class StartupProbe : public QObject {
public:
    StartupProbe(bool detect, QObject* parent) : QObject(parent), detect_(detect) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        if (auto* dialog = qobject_cast<ConfigDialog*>(watched); dialog != nullptr && !shown_) {
            shown_ = true;
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, dialog, [this, dialog] {
                if (auto* detect = qobject_cast<QAbstractButton*>(dialog->control(1001)); detect_ && detect) {
                    clicked_ = Clock::now();
                    detect->click(); // returns when the outcome's box has closed
                }
                dialog->reject();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(watched); box != nullptr && detect_) {
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - clicked_).count();
            std::printf("detection %.1f %s\n", ms, box->text().toStdString().c_str());
            std::fflush(stdout);
            QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
        }
        return false;
    }

private:
    bool detect_;
    bool shown_ = false;
    Clock::time_point clicked_;
};

} // namespace

int main(int argc, char** argv) {
    const std::optional<Language> language = startupLanguage("ventora-startup-probe", argc, argv);
    if (!language) return 2;
    if (!platformHasDisplay("ventora-startup-probe")) return 1;
    const bool detect = argc == 3 && std::strcmp(argv[1], "--detect") == 0;
    const std::string device = detect ? argv[2] : "";
    SerialPort port =
        detect ? SerialPort([device](std::uint8_t n) { return n == 1 ? device : std::string(); }) : SerialPort();
    QApplication app(argc, argv);
    app.installEventFilter(new StartupProbe(detect, &app));
    ConfigApp configApp(port, &platformStartup, *language);
    configApp.initInstance();
    return 0;
}
