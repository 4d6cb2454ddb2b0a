#pragma once
// The main window drawn by Qt: the template's widgets, message boxes, timer 1
// and the cursor, over the window's behaviour in window/config_window.h.

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <optional>
#include <string>

#include "app/dialog_units.h"
#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"
#include "window/config_window.h"

class DropDownList;
class QMenu;

class ConfigDialog : public QDialog, public WindowView {
    Q_OBJECT

public:
    // The port must outlive the dialog. The receive thread runs from here
    // until the dialog closes, if startThread can start it; without it the
    // dialog runs and every exchange ends with no reply.
    // Its texts are in the language until the system menu switches it.
    explicit ConfigDialog(SerialPort& port, Language language = Language::Chinese, QWidget* parent = nullptr,
                          ReceiveThread::Starter startThread = &ReceiveThread::startThread);
    ~ConfigDialog() override;

    int selectedPortIndex() override;
    std::string boxText(int controlId) override;
    void setBoxText(int controlId, const std::string& text) override;
    void messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) override;

    bool dispatch(EventMessage message, unsigned param) { return window_.dispatch(message, param); }

    QWidget* control(int id) const;
    // Where the About entry lives when the window system owns the title-bar menu.
    QMenu& systemMenu() { return *systemMenu_; }
    Transmitter& transmitter() { return window_.transmitter(); }

    // Stops the receive thread, then ends the modal run.
    void done(int result) override;

protected:
    // Runs a box owned by this dialog (a message box or the About box) modally.
    virtual int execModal(QDialog& box);

    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void enableControl(int controlId, bool on) override;
    void appendSystemMenuEntry(const std::string& text, unsigned command, bool afterSeparator) override;
    void renameSystemMenuEntry(unsigned command, const std::string& text) override;
    void showTexts(Language language) override;
    void setDialogIcon() override;
    void addPort(const std::string& name) override;
    void selectPort(int index) override;
    void setTimer(unsigned timerId, int periodMs) override;
    void showAbout() override;
    bool paintMinimised() override;
    bool queryDragIcon() override;
    void setBusyCursor(bool on) override;
    void operationEnded() override;

    DropDownList* portList() const;
    // Each entry's tooltip names the device its port opens now.
    void describePorts();

    SerialPort& port_;
    QIcon dialogIcon_;
    QMenu* systemMenu_;
    DialogUnits units_;
    QList<QWidget*> widgets_; // in template order
    QHash<int, QWidget*> controls_;
    int busyTimer_ = 0;        // Qt's id of the window's timer
    unsigned busyTimerId_ = 0; // the id the window gave it
    int tickHold_ = 0;         // while nonzero, ticks of the timer wait in tickWaiting_
    bool tickWaiting_ = false;
    ConfigWindow window_; // declared last: its receive thread stops before the rest goes
};
