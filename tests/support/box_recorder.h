// Message boxes while this lives: each answered with `answer` and recorded as
// "caption: text", with its flags.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace gc6890::test {

class BoxRecorder {
public:
    explicit BoxRecorder(int answer = IDOK)
        : m_previous(SetMessageBoxHandler(
              [this, answer](HWND, const char* text, const char* caption, UINT style) {
                  boxes.push_back(std::string(caption) + ": " + text);
                  flags.push_back(style);
                  return answer;
              }))
    {}
    ~BoxRecorder() { SetMessageBoxHandler(m_previous); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<std::string> boxes;
    std::vector<UINT> flags;

private:
    MessageBoxHandler m_previous;
};

}  // namespace gc6890::test
