#include "console.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

#include "external/inlet_utils.h"
#include "platform/platform.h"

namespace gc6890::cli {

namespace {

std::string g_lastBox;

bool isQuestion(UINT flags)
{
    return (flags & MB_TYPEMASK) != MB_OK;
}

int positiveAnswer(UINT flags)
{
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return IDOK;
    case MB_ABORTRETRYIGNORE:
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDYES;
    }
}

int negativeAnswer(UINT flags)
{
    switch (flags & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDCANCEL;
    }
}

std::string withoutTrailingNewlines(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// Asks on the terminal until the user says yes or no; end of input takes the default.
int askOnTerminal(UINT flags)
{
    const bool yesByDefault = gc6890::defaultMessageBoxAnswer(flags) == positiveAnswer(flags);
    for (;;) {
        std::cerr << (yesByDefault ? " [Y/n] " : " [y/N] ") << std::flush;
        std::string reply;
        if (!std::getline(std::cin, reply))
            return gc6890::defaultMessageBoxAnswer(flags);
        if (reply.empty())
            return gc6890::defaultMessageBoxAnswer(flags);
        if (reply[0] == 'y' || reply[0] == 'Y')
            return positiveAnswer(flags);
        if (reply[0] == 'n' || reply[0] == 'N')
            return negativeAnswer(flags);
    }
}

}  // namespace

void installConsoleHandlers(Answer answer)
{
    SetMessageBoxHandler([answer](HWND, const char* text, const char* caption, UINT flags) {
        g_lastBox = withoutTrailingNewlines(text ? text : "");
        std::cerr << (caption ? caption : "") << ": " << g_lastBox;
        if (!isQuestion(flags)) {
            std::cerr << '\n';
            return IDOK;
        }
        int result = gc6890::defaultMessageBoxAnswer(flags);
        if (answer == Answer::Yes)
            result = positiveAnswer(flags);
        else if (answer == Answer::No)
            result = negativeAnswer(flags);
        else if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO))
            return askOnTerminal(flags);
        std::cerr << (result == positiveAnswer(flags) ? " (answered yes)" : " (answered no)")
                  << '\n';
        return result;
    });
    SetStatusTextHandler([](const char* text, const char*) {
        // The library restores the host's idle prompt after its work; a terminal has none.
        std::string line = withoutTrailingNewlines(text ? text : "");
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        if (!line.empty() && line.rfind("For Help, press F1", 0) != 0)
            std::cerr << "status: " << line << '\n';
    });
}

const std::string& lastMessageBox()
{
    return g_lastBox;
}

bool standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)), terminal_(standardErrorIsTerminal())
{}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::update(int done, int total)
{
    if (total <= 0)
        return;
    constexpr int kWidth = 30;
    const int filled = done >= total ? kWidth : done * kWidth / total;
    if (terminal_) {
        std::fprintf(stderr, "\r%s [%s%s] %d/%d", label_.c_str(), std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, ' ').c_str(), done, total);
        std::fflush(stderr);
        drawn_ = true;
        return;
    }
    const int tenth = done >= total ? 10 : done * 10 / total;
    if (tenth != lastTenth_) {
        lastTenth_ = tenth;
        std::fprintf(stderr, "%s: %d/%d lines\n", label_.c_str(), done, total);
    }
}

void ProgressBar::finish()
{
    if (drawn_)
        std::fputc('\n', stderr);
    drawn_ = false;
}

}  // namespace gc6890::cli
