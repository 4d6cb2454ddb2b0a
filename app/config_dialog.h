#pragma once
// The main window: the port list, the identity, measurement and duct-area
// rows, and the event table that routes every click and timer tick.

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <memory>
#include <optional>
#include <string>

#include "protocol/dialog_access.h"
#include "protocol/transmitter.h"
#include "serial/receive_thread.h"
#include "serial/serial_port.h"

class DropDownList;
class QMenu;

// Messages of the event table, numbered as on Windows.
enum class EventMessage : unsigned {
    SysCommand = 0x0112,
    Paint = 0x000F,
    QueryDragIcon = 0x0037,
    Command = 0x0111,
    Timer = 0x0113,
};

inline constexpr unsigned kAboutCommand = 16;  // the About entry of the system menu
inline constexpr unsigned kBusyTimerId = 1;     // its ticks clear queryBusy
inline constexpr int kBusyTimerMs = 300;

class ConfigDialog : public QDialog, public DialogAccess {
    Q_OBJECT

public:
    // The port must outlive the dialog. The receive thread runs from here
    // until the dialog closes, if startThread can start it; without it the
    // dialog runs and every exchange ends with no reply.
    explicit ConfigDialog(SerialPort& port, QWidget* parent = nullptr,
                          ReceiveThread::Starter startThread = &ReceiveThread::startThread);
    ~ConfigDialog() override;

    int selectedPortIndex() override;
    std::string boxText(int controlId) override;
    void setBoxText(int controlId, const std::string& text) override;
    void enablePortPair(bool on) override;
    void enableOperationButtons(bool on) override;
    void messageBox(const std::string& text, const std::optional<std::string>& caption,
                    unsigned type) override;

    // Runs the event-table row for the message; param is the control id of a
    // command, the command id of a system command, the id of a timer.
    // False when no row matches or the row leaves the message to the default
    // handling as well.
    bool dispatch(EventMessage message, unsigned param);

    QWidget* control(int id) const;
    // Where the About entry lives when the window system owns the title-bar menu.
    QMenu& systemMenu() { return *systemMenu_; }
    Transmitter& transmitter() { return transmitter_; }

    // Stops the receive thread, then ends the modal run.
    void done(int result) override;

protected:
    // Runs a box owned by this dialog (a message box or the About box) modally.
    virtual int execModal(QDialog& box);

    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct EventRow;
    static const EventRow eventTable[];

    void onInitDialog();
    bool onSysCommand(unsigned command);
    bool onPaint();
    bool onQueryDragIcon();
    bool onTimer(unsigned timerId);
    bool runOperation(void (Transmitter::*operation)());
    DropDownList* portList() const;
    // Each entry's tooltip names the device its port opens now.
    void describePorts();

    SerialPort& port_;
    ReceiveThread::Starter startThread_;
    QIcon dialogIcon_;
    QMenu* systemMenu_;
    QHash<int, QWidget*> controls_;
    int busyTimer_ = 0;         // Qt's id of timer 1
    int tickHold_ = 0;          // while nonzero, ticks of timer 1 wait in tickWaiting_
    bool tickWaiting_ = false;
    bool closing_ = false;
    std::unique_ptr<ReceiveBlock> receive_;
    Transmitter transmitter_;
    std::optional<ReceiveThread> receiveThread_;  // declared last: it stops before the state it reads goes
};
