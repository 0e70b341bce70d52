// How the calculation core tells its user what a window would show.
//
// The window shows each message as a modal box with one OK button, the
// command-line tool prints it to standard error, tests collect it.
#pragma once

#include <string>
#include <vector>

namespace tarvel {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A modal message box with one OK button; text in UTF-8, lines separated by "\n".
    virtual void showMessage(const std::string& text) = 0;
    // The power-flow run has started: the window shows its lower pane with this
    // progress text as the only line.
    virtual void runStarted(const std::string& /*progressText*/) {}
    // A warning that is no message box: the window appends it to the lower
    // pane, the command-line tool prints it.
    virtual void warning(const std::string& text) { showMessage(text); }
};

// Collects every message; for tests and batch use.
class CollectingSink : public MessageSink {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void runStarted(const std::string& progressText) override { progress.push_back(progressText); }
    void warning(const std::string& text) override { warnings.push_back(text); }
    std::vector<std::string> messages;
    std::vector<std::string> progress;
    std::vector<std::string> warnings;
};

}  // namespace tarvel
