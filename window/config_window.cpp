#include "window/config_window.h"

#include "window/dialog_templates.h"

namespace {

constexpr unsigned kSysCommandMask = 0xFFF0;

constexpr int kOperationButtons[] = {
    kQueryAddressButton, kSetAddressButton, kQueryBaudButton, kSetBaudButton,
    kMeasureButton,      kAreaQueryButton,  kAreaSetButton,
};

} // namespace

void WindowView::enablePortPair(bool on) {
    enableControl(kDetectButton, on);
    enableControl(kPortList, on);
}

void WindowView::enableOperationButtons(bool on) {
    for (int id : kOperationButtons) enableControl(id, on);
}

// A handler returns true when it has dealt with the message, false when the
// message goes on to the default handling.
struct ConfigWindow::EventRow {
    EventMessage message;
    int controlId; // commands only
    bool (*handler)(ConfigWindow& window, unsigned param);
};

template <void (Transmitter::*operation)()>
bool ConfigWindow::operationRow(ConfigWindow& window, unsigned) {
    return window.runOperation(operation);
}

const ConfigWindow::EventRow ConfigWindow::eventTable[] = {
    {EventMessage::SysCommand, 0, [](ConfigWindow& w, unsigned id) { return w.onSysCommand(id); }},
    {EventMessage::Paint, 0, [](ConfigWindow& w, unsigned) { return w.view_.paintMinimised(); }},
    {EventMessage::QueryDragIcon, 0, [](ConfigWindow& w, unsigned) { return w.view_.queryDragIcon(); }},
    {EventMessage::Command, kDetectButton, &operationRow<&Transmitter::detectBaud>},
    {EventMessage::Command, kQueryAddressButton, &operationRow<&Transmitter::queryIdentity>},
    {EventMessage::Command, kSetAddressButton, &operationRow<&Transmitter::setAddress>},
    {EventMessage::Command, kQueryBaudButton, &operationRow<&Transmitter::queryIdentity>},
    {EventMessage::Command, kSetBaudButton, &operationRow<&Transmitter::setBaudRate>},
    {EventMessage::Timer, 0, [](ConfigWindow& w, unsigned id) { return w.onTimer(id); }},
    {EventMessage::Command, kMeasureButton, &operationRow<&Transmitter::readMeasurement>},
    {EventMessage::Command, kAreaQueryButton, &operationRow<&Transmitter::readArea>},
    {EventMessage::Command, kAreaSetButton, &operationRow<&Transmitter::writeArea>},
};

ConfigWindow::ConfigWindow(SerialPort& port, WindowView& view, ReceiveThread::Starter startThread)
    : port_(port),
      view_(view),
      startThread_(startThread),
      receive_(std::make_unique<ReceiveBlock>()),
      transmitter_(port, *receive_, view) {}

ConfigWindow::~ConfigWindow() = default;

void ConfigWindow::initDialog() {
    const std::string aboutEntry = loadString(kStringAboutEntry, language());
    if (!aboutEntry.empty()) view_.appendSystemMenuEntry(aboutEntry, kAboutCommand, true);
    view_.appendSystemMenuEntry(uiText(TextId::OtherLanguageEntry, language()), kLanguageCommand, false);

    view_.setDialogIcon();

    for (int n = 1; n <= kPortCount; ++n) view_.addPort("COM" + std::to_string(n));
    view_.selectPort(0);

    transmitter_.state.modbusMode = false;
    // The rings are ready before the thread that fills them starts.
    receive_->init();
    receiveThread_.emplace(*receive_, port_, startThread_);

    view_.enableOperationButtons(false);
    view_.setTimer(kBusyTimerId, kBusyTimerMs);
}

bool ConfigWindow::dispatch(EventMessage message, unsigned param) {
    if (shutDown_) return false;
    for (const EventRow& row : eventTable) {
        if (row.message != message) continue;
        if (message == EventMessage::Command && static_cast<unsigned>(row.controlId) != param) continue;
        return row.handler(*this, param);
    }
    return false;
}

void ConfigWindow::shutDown() {
    shutDown_ = true;
    receiveThread_.reset();
}

bool ConfigWindow::onSysCommand(unsigned command) {
    switch (command & kSysCommandMask) {
    case kAboutCommand: view_.showAbout(); return true;
    case kLanguageCommand: switchLanguage(); return true;
    default: return false;
    }
}

void ConfigWindow::switchLanguage() {
    setLanguage(otherLanguage(language()));
    view_.showTexts(language());
    view_.renameSystemMenuEntry(kAboutCommand, loadString(kStringAboutEntry, language()));
    view_.renameSystemMenuEntry(kLanguageCommand, uiText(TextId::OtherLanguageEntry, language()));
}

bool ConfigWindow::onTimer(unsigned timerId) {
    if (timerId == kBusyTimerId) transmitter_.state.queryBusy = false;
    return false;
}

bool ConfigWindow::runOperation(void (Transmitter::*operation)()) {
    view_.setBusyCursor(true);
    (transmitter_.*operation)();
    view_.setBusyCursor(false);
    view_.operationEnded();
    return true;
}

std::string applicationNameOf(const std::string& executablePath) {
    const std::size_t slash = executablePath.find_last_of("/\\");
    std::string name = slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}
