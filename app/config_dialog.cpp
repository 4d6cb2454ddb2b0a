#include "app/config_dialog.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimerEvent>
#include <utility>

#include "app/about_dialog.h"
#include "app/app_resources.h"
#include "app/drop_down_list.h"
#include "app/platform.h"
#include "window/dialog_templates.h"
#include "window/minimised_icon.h"

namespace {

constexpr int kIconPixels = 32;

QMessageBox::Icon boxIcon(unsigned type) {
    switch (type & 0xF0) {
    case 0x10: return QMessageBox::Critical;
    case kBoxQuestion: return QMessageBox::Question;
    case kBoxWarning: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

ConfigDialog::ConfigDialog(SerialPort& port, Language language, QWidget* parent, ReceiveThread::Starter startThread)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      port_(port),
      dialogIcon_(applicationIcon()),
      systemMenu_(new QMenu(this)),
      window_(port, *this, startThread) {
    window_.setLanguage(language);
    setWindowTitle(QString::fromUtf8(uiText(kMainTemplate.caption, language)));
    setFont(dialogFont(kMainTemplate));
    units_ = DialogUnits::forFont(font());
    widgets_ = buildControls(*this, kMainTemplate, units_, language);
    for (qsizetype i = 0; i < widgets_.size(); ++i) {
        const ControlTemplate& c = kMainTemplate.controls[static_cast<std::size_t>(i)];
        if (c.id == kNoControlId) continue;
        controls_.insert(c.id, widgets_[i]);
        if (auto* button = qobject_cast<QPushButton*>(widgets_[i])) {
            const auto id = static_cast<unsigned>(c.id);
            connect(button, &QPushButton::clicked, this, [this, id] { dispatch(EventMessage::Command, id); });
        }
    }
    setFixedSize(clientSize(kMainTemplate, units_));

    window_.initDialog();
    connect(portList(), &DropDownList::aboutToDescribe, this, &ConfigDialog::describePorts);
    portList()->setFocus();
}

ConfigDialog::~ConfigDialog() = default;

void ConfigDialog::appendSystemMenuEntry(const std::string& text, unsigned command, bool afterSeparator) {
    ::appendSystemMenuEntry(*this, *systemMenu_, QString::fromStdString(text), command, afterSeparator);
}

void ConfigDialog::renameSystemMenuEntry(unsigned command, const std::string& text) {
    for (QAction* entry : systemMenu_->actions()) {
        if (!entry->isSeparator() && entry->data().toUInt() == command) entry->setText(QString::fromStdString(text));
    }
}

void ConfigDialog::showTexts(Language language) {
    useQtTranslations(language);
    setWindowTitle(QString::fromUtf8(uiText(kMainTemplate.caption, language)));
    showControlTexts(widgets_, kMainTemplate, units_, language);
}

void ConfigDialog::setDialogIcon() { setWindowIcon(dialogIcon_); }

void ConfigDialog::addPort(const std::string& name) { portList()->addItem(QString::fromStdString(name)); }

void ConfigDialog::selectPort(int index) { portList()->select(index); }

void ConfigDialog::setTimer(unsigned timerId, int periodMs) {
    busyTimer_ = startTimer(periodMs);
    busyTimerId_ = timerId;
}

void ConfigDialog::showAbout() {
    AboutDialog about(this, window_.language());
    execModal(about);
}

bool ConfigDialog::paintMinimised() {
    if (!isMinimized()) return false;
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const IconOrigin at = iconOrigin(width(), height(), kIconPixels, kIconPixels);
    dialogIcon_.paint(&painter, at.x, at.y, kIconPixels, kIconPixels);
    return true;
}

bool ConfigDialog::queryDragIcon() {
    // The window system draws the dragged minimised window itself, from the
    // window icon set at initialisation.
    return false;
}

void ConfigDialog::setBusyCursor(bool on) {
    if (on) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

// An operation blocks the event loop, and input made meanwhile queues up. Qt
// may deliver a due tick of timer 1 ahead of that queued input, which would
// let a click made during a query run the query again. So ticks are held while
// the queued input is delivered (the query clicks among it find queryBusy set
// and are dropped; other clicks run, in order), and a held tick is dispatched
// right after: the dead time after a query stays within one timer period.
void ConfigDialog::operationEnded() {
    ++tickHold_;
    QCoreApplication::processEvents();
    if (--tickHold_ == 0 && std::exchange(tickWaiting_, false)) dispatch(EventMessage::Timer, busyTimerId_);
}

void ConfigDialog::timerEvent(QTimerEvent* event) {
    const bool ours = busyTimer_ != 0 && event->timerId() == busyTimer_;
    if (ours && tickHold_ > 0) {
        tickWaiting_ = true;
        return;
    }
    // Qt numbers its timers itself; only ours carries the window's id.
    if (!dispatch(EventMessage::Timer, ours ? busyTimerId_ : 0)) QDialog::timerEvent(event);
}

void ConfigDialog::paintEvent(QPaintEvent* event) {
    if (!dispatch(EventMessage::Paint, 0)) QDialog::paintEvent(event);
}

void ConfigDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (systemMenu_->actions().isEmpty()) {
        QDialog::contextMenuEvent(event);
        return;
    }
    if (QAction* chosen = systemMenu_->exec(event->globalPos())) {
        dispatch(EventMessage::SysCommand, chosen->data().toUInt());
    }
}

void ConfigDialog::keyPressEvent(QKeyEvent* event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == 0;
    if (!enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Enter presses the push button that has the focus, and is the OK
    // command anywhere else: the dialog has no default button.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
        if (button->isEnabled()) button->click();
        return;
    }
    accept();
}

void ConfigDialog::done(int result) {
    if (busyTimer_ != 0) {
        killTimer(busyTimer_);
        busyTimer_ = 0;
    }
    window_.shutDown();
    QDialog::done(result);
}

int ConfigDialog::execModal(QDialog& box) { return box.exec(); }

QWidget* ConfigDialog::control(int id) const { return controls_.value(id, nullptr); }

DropDownList* ConfigDialog::portList() const { return qobject_cast<DropDownList*>(control(kPortList)); }

int ConfigDialog::selectedPortIndex() { return portList()->selected(); }

// Port numbers on Linux follow the devices present, so what COMn means can
// change between two looks at the list.
void ConfigDialog::describePorts() {
    DropDownList* ports = portList();
    // One look at the devices present for the whole list, not one per entry.
    const std::vector<std::string> devices = port_.devicesFor(std::uint8_t(ports->count()));
    for (int i = 0; i < ports->count(); ++i) {
        const std::string& path = devices[std::size_t(i)];
        QString tip = QString::fromUtf8(uiText(TextId::NoDevice, window_.language()));
        if (!path.empty()) {
            tip = QString::fromStdString(path);
            const std::string stable = SerialPort::stableName(path);
            if (!stable.empty()) tip += QStringLiteral("\n/dev/serial/by-id/") + QString::fromStdString(stable);
        }
        ports->setItemData(i, tip, Qt::ToolTipRole);
    }
}

std::string ConfigDialog::boxText(int controlId) {
    auto* edit = qobject_cast<QLineEdit*>(control(controlId));
    return edit != nullptr ? edit->text().toStdString() : std::string();
}

void ConfigDialog::setBoxText(int controlId, const std::string& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(control(controlId))) {
        edit->setText(QString::fromStdString(text));
        // A value wider than its box shows from its start, not its end.
        edit->setCursorPosition(0);
    }
}

void ConfigDialog::enableControl(int controlId, bool on) { control(controlId)->setEnabled(on); }

void ConfigDialog::messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) {
    QMessageBox box(this);
    box.setWindowTitle(caption ? QString::fromStdString(*caption) : applicationName());
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(boxIcon(type));
    box.setStandardButtons(QMessageBox::Ok);

    // The box runs its own loop, in which ticks must reach the dialog, with
    // the normal cursor even while an operation holds the busy one.
    const int hold = std::exchange(tickHold_, 0);
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    execModal(box);
    QGuiApplication::restoreOverrideCursor();
    tickHold_ = hold;
}
