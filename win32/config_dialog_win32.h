#pragma once
// The main window drawn by Win32: the dialog built from the template, its
// controls addressed by id, message boxes, timer 1, the wait cursor, over the
// window's behaviour in window/config_window.h.

#include <windows.h>

#include <optional>
#include <string>

#include "serial/local/receive_thread.h"
#include "serial/local/serial_port.h"
#include "window/config_window.h"

class Win32ConfigDialog : public WindowView {
public:
    // The port must outlive the dialog. Its texts are in the language until
    // the system menu switches it.
    explicit Win32ConfigDialog(SerialPort& port, Language language = Language::Chinese,
                               ReceiveThread::Starter startThread = &ReceiveThread::startThread);
    ~Win32ConfigDialog() override;

    Win32ConfigDialog(const Win32ConfigDialog&) = delete;
    Win32ConfigDialog& operator=(const Win32ConfigDialog&) = delete;

    // Runs the dialog until OK or Cancel ends it; returns that command.
    INT_PTR runModal();
    // Creates the dialog without a modal loop of its own, for a caller that
    // pumps messages itself; it lives until the command that ends it, or
    // until this object goes.
    HWND createModeless();

    HWND window() const { return hwnd_; }
    Transmitter& transmitter() { return window_.transmitter(); }
    bool dispatch(EventMessage message, unsigned param) { return window_.dispatch(message, param); }

    int selectedPortIndex() override;
    std::string boxText(int controlId) override;
    void setBoxText(int controlId, const std::string& text) override;
    int readBoxInt(int controlId) override;
    void writeBoxInt(int controlId, int value) override;
    void messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) override;
    // The debugger output: a GUI program has no console.
    void logLine(const std::string& line) override;

protected:
    // Shows one message box modally, owned by the dialog.
    virtual void showMessageBox(const std::wstring& text, const std::wstring& caption, UINT type);
    // Runs the About box modally, owned by the dialog.
    virtual void runAboutBox();

private:
    // What the window asks of its view, on the dialog's controls.
    void addPort(const std::string& name) override;
    void selectPort(int index) override;
    void enableControl(int controlId, bool on) override;
    void setBusyCursor(bool on) override;
    // On the dialog window itself.
    void setDialogIcon() override;
    void setTimer(unsigned timerId, int periodMs) override;
    bool paintMinimised() override;
    bool queryDragIcon() override;
    void appendSystemMenuEntry(const std::string& text, unsigned command, bool afterSeparator) override;
    void renameSystemMenuEntry(unsigned command, const std::string& text) override;
    void showTexts(Language language) override;
    void showAbout() override;

    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void portListNotification(WORD code);
    void end(INT_PTR command);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
    HICON dialogIcon_ = nullptr;
    HCURSOR cursorBeforeBusy_ = nullptr;
    UINT_PTR timer_ = 0;
    int chosenPort_ = -1; // the entry picked from the list; typing never changes it
    bool typing_ = false; // the field holds typed text since the list last dropped down
    ConfigWindow window_; // declared last: its receive thread stops before the rest goes
};

// Runs the About box from kAboutTemplate, in the language, modally over owner.
void runAboutDialog(HWND owner, Language language);
// Centres a dialog over its owner, or in the work area when it has none.
void centreDialog(HWND dialog);
// The caption of message boxes shown without one.
std::wstring applicationCaption();
