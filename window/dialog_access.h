#pragma once
// The window as the transmitter operations see it. The main dialog implements
// it; tests implement it with a recording fake. UI thread only.

#include <optional>
#include <string>

// Control identifiers of the main dialog.
enum ControlId : int {
    kPortList = 1000,
    kDetectButton = 1001,
    kAddressBox = 1002,
    kBaudBox = 1003,
    kQueryAddressButton = 1004,
    kSetAddressButton = 1005,
    kQueryBaudButton = 1006,
    kSetBaudButton = 1007,
    kVelocityBox = 1010,
    kVolumeBox = 1011,
    kAreaBox = 1012,
    kMeasureButton = 1013,
    kAreaQueryButton = 1015,
    kAreaSetButton = 1016,
};

// Message box types: OK button only, with or without an icon.
inline constexpr unsigned kBoxPlain = 0x00;    // no icon
inline constexpr unsigned kBoxQuestion = 0x20; // question-mark icon
inline constexpr unsigned kBoxWarning = 0x30;  // exclamation icon (start-up failure only)

class DialogAccess {
public:
    virtual ~DialogAccess() = default;
    virtual int selectedPortIndex() = 0;            // -1 when no entry is selected
    virtual std::string boxText(int controlId) = 0; // UTF-8
    virtual void setBoxText(int controlId, const std::string& text) = 0;
    virtual void enablePortPair(bool on) = 0;         // 1001, then 1000
    virtual void enableOperationButtons(bool on) = 0; // 1004, 1005, 1006, 1007, 1013, 1015, 1016
    // type kBoxPlain or kBoxQuestion; no caption = the application name
    virtual void messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) = 0;
    // One line of detail that a box does not show, for whoever started the
    // program; standard error unless overridden. No line break in line.
    virtual void logLine(const std::string& line);

    // Optional white space, an optional sign and decimal digits within the
    // signed 32-bit range, then optional white space, give the value; any other
    // text gives 0. A view with a platform call for it may use that instead.
    virtual int readBoxInt(int controlId);
    virtual void writeBoxInt(int controlId, int value);
};
