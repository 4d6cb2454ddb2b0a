#pragma once
// What the main window does, whatever draws it: its initialisation, its event
// table and handlers, the busy tick and the operations. A view (the Qt dialog,
// the Win32 dialog) owns the controls and implements WindowView; ConfigWindow
// owns the working state and tells the view what to show. UI thread only.

#include <memory>
#include <optional>
#include <string>

#include "window/dialog_access.h"
#include "window/texts.h"
#include "window/transmitter.h"
#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"

// Messages of the event table, numbered as on Windows.
enum class EventMessage : unsigned {
    SysCommand = 0x0112,
    Paint = 0x000F,
    QueryDragIcon = 0x0037,
    Command = 0x0111,
    Timer = 0x0113,
};

inline constexpr unsigned kAboutCommand = 16;    // the About entry of the system menu
inline constexpr unsigned kLanguageCommand = 48; // the entry below it, which switches the language
inline constexpr unsigned kBusyTimerId = 1;      // its ticks clear queryBusy
inline constexpr int kBusyTimerMs = 300;
inline constexpr int kPortCount = 32; // COM1 to COM32

// The view's side: DialogAccess for the operations, plus what initialisation
// and the handlers need from the toolkit.
class WindowView : public DialogAccess {
public:
    virtual void enableControl(int controlId, bool on) = 0;
    void enablePortPair(bool on) final;
    void enableOperationButtons(bool on) final;

    // Appends the entry to the window's menu of window commands, after a
    // separator when asked.
    virtual void appendSystemMenuEntry(const std::string& text, unsigned command, bool afterSeparator) = 0;
    // Gives an entry appended before its text in the language now shown.
    virtual void renameSystemMenuEntry(unsigned command, const std::string& text) = 0;
    // Shows every text of the window's controls and caption in the language,
    // and keeps to it for what the view shows from then on (the About box,
    // tooltips).
    virtual void showTexts(Language language) = 0;
    // Icon 128 as the window's big and small icon.
    virtual void setDialogIcon() = 0;
    virtual void addPort(const std::string& name) = 0;
    virtual void selectPort(int index) = 0;
    // Starts a periodic timer whose ticks come back as EventMessage::Timer with timerId.
    virtual void setTimer(unsigned timerId, int periodMs) = 0;

    // Runs the About box modally.
    virtual void showAbout() = 0;
    // Draws the icon centred (see minimised_icon.h) when the window is
    // minimised; false when it is not, so the default painting runs.
    virtual bool paintMinimised() = 0;
    // Answers the request for the dragged minimised window's picture; false
    // leaves it to the default handling.
    virtual bool queryDragIcon() = 0;
    virtual void setBusyCursor(bool on) = 0;
    // After each operation, before the next message is handled.
    virtual void operationEnded() {}
};

class ConfigWindow {
public:
    // The port must outlive the window. startThread starts the receive
    // thread at initialisation; if it cannot, the window runs and every
    // exchange ends with no reply.
    ConfigWindow(SerialPort& port, WindowView& view, ReceiveThread::Starter startThread = &ReceiveThread::startThread);
    ~ConfigWindow();

    ConfigWindow(const ConfigWindow&) = delete;
    ConfigWindow& operator=(const ConfigWindow&) = delete;

    // Once, when the view's controls exist and before the window is shown.
    void initDialog();

    // Runs the event-table row for the message; param is the control id of a
    // command, the command id of a system command, the id of a timer.
    // False when no row matches, when the row leaves the message to the
    // default handling as well, or after shutDown.
    bool dispatch(EventMessage message, unsigned param);

    // The window is closing: no message is handled from here on, and the
    // receive thread is stopped and joined.
    void shutDown();

    // The language shown, Chinese unless set; set it before initDialog.
    void setLanguage(Language language) { transmitter_.language = language; }
    Language language() const { return transmitter_.language; }

    Transmitter& transmitter() { return transmitter_; }
    bool receiving() const { return receiveThread_ && receiveThread_->running(); }

private:
    struct EventRow;
    static const EventRow eventTable[];

    bool onSysCommand(unsigned command);
    void switchLanguage();
    bool onTimer(unsigned timerId);
    bool runOperation(void (Transmitter::*operation)());
    template <void (Transmitter::*operation)()>
    static bool operationRow(ConfigWindow& window, unsigned);

    SerialPort& port_;
    WindowView& view_;
    ReceiveThread::Starter startThread_;
    bool shutDown_ = false;
    std::unique_ptr<ReceiveBlock> receive_;
    Transmitter transmitter_;
    std::optional<ReceiveThread> receiveThread_; // declared last: it stops before the state it reads goes
};

// The caption of a message box shown without one: the executable's file name
// without directory and extension. Either separator ends the directory.
std::string applicationNameOf(const std::string& executablePath);
