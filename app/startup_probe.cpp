#include "app/startup_probe.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/config_dialog.h"

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

void installStartupProbe() {
    if (std::getenv("VENTORA_STARTUP_PROBE")) qApp->installEventFilter(new StartupProbe(qApp));
}
