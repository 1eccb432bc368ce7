// The terminal side of the library's user interface: message boxes, the status line and
// progress, all on standard error (results go to standard output).
#pragma once

#include <string>

namespace gc6890::cli {

// How the program answers the library's questions.
enum class Answer {
    Ask,  // ask on a terminal; without one, take the box's safe default
    Yes,  // --yes
    No,   // --no
};

// Installs the message-box handler ("caption: text" on standard error, questions answered
// as `answer` says) and the status-line handler ("status: text").
void installConsoleHandlers(Answer answer);

// The text of the last message box shown, "" when none was (a command that fails after a
// box repeats it in its failure line).
const std::string& lastMessageBox();

bool standardErrorIsTerminal();

// A progress bar of work counted in steps, redrawn in place on a terminal and printed as a
// line per tenth otherwise.
class ProgressBar {
public:
    explicit ProgressBar(std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(int done, int total);
    // Ends the bar's line (done by the destructor too).
    void finish();

private:
    std::string label_;
    bool terminal_;
    bool drawn_ = false;
    int lastTenth_ = -1;
};

}  // namespace gc6890::cli
