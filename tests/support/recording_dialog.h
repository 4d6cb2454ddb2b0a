#pragma once
// The window as tests see it: a dialog, or a whole view, that records what it
// is asked to show instead of showing it. FakeDialog stands in for
// DialogAccess under the operations; RecordingView for WindowView under
// ConfigWindow, where every call also goes into one ordered list.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "window/config_window.h"
#include "window/dialog_access.h"

struct ShownBox {
    std::string text;
    std::optional<std::string> caption;
    unsigned type;
    bool operator==(const ShownBox&) const = default;
};

// What both doubles answer and keep: the selected port, the boxes' texts, the
// message boxes and the log lines.
template <class Access>
class Recording : public Access {
public:
    int portIndex = 0;
    std::map<int, std::string> boxes;
    std::vector<ShownBox> shown;
    std::vector<std::string> logged;

    int selectedPortIndex() override { return portIndex; }
    std::string boxText(int controlId) override { return boxes[controlId]; }
    void setBoxText(int controlId, const std::string& text) override { boxes[controlId] = text; }
    void messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) override {
        shown.push_back({text, caption, type});
    }
    void logLine(const std::string& line) override { logged.push_back(line); }
};

class FakeDialog : public Recording<DialogAccess> {
public:
    std::vector<std::string> enabling; // "pair on", "pair off", "buttons on", "buttons off"

    void enablePortPair(bool on) override { enabling.push_back(on ? "pair on" : "pair off"); }
    void enableOperationButtons(bool on) override { enabling.push_back(on ? "buttons on" : "buttons off"); }
};

// Each call is one line of `calls`: "enable 1004", "box <text>", "timer 1 300", ...
class RecordingView : public Recording<WindowView> {
public:
    std::vector<std::string> calls;
    bool minimised = false;
    bool answersDragIcon = false;

    void messageBox(const std::string& text, const std::optional<std::string>& caption, unsigned type) override {
        Recording::messageBox(text, caption, type);
        calls.push_back("box " + text);
    }
    void enableControl(int id, bool on) override {
        calls.push_back((on ? "enable " : "disable ") + std::to_string(id));
    }
    void appendSystemMenuEntry(const std::string& text, unsigned command, bool afterSeparator) override {
        if (afterSeparator) calls.push_back("separator");
        calls.push_back("menu " + text + " " + std::to_string(command));
    }
    void renameSystemMenuEntry(unsigned command, const std::string& text) override {
        calls.push_back("rename " + std::to_string(command) + " " + text);
    }
    void showTexts(Language language) override {
        calls.push_back(language == Language::English ? "texts en" : "texts zh");
    }
    void setDialogIcon() override { calls.push_back("icon"); }
    void addPort(const std::string& name) override { calls.push_back("port " + name); }
    void selectPort(int index) override { calls.push_back("select " + std::to_string(index)); }
    void setTimer(unsigned id, int periodMs) override {
        calls.push_back("timer " + std::to_string(id) + " " + std::to_string(periodMs));
    }
    void showAbout() override { calls.push_back("about"); }
    bool paintMinimised() override {
        calls.push_back("paint");
        return minimised;
    }
    bool queryDragIcon() override {
        calls.push_back("drag icon");
        return answersDragIcon;
    }
    void setBusyCursor(bool on) override { calls.push_back(on ? "busy" : "normal"); }
    void operationEnded() override { calls.push_back("ended"); }
};
