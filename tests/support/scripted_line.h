// The in-memory test line: a scripted instrument. Each expected line the library must
// write is paired with the reply the instrument gives; a line that differs from the script
// fails the test with control characters escaped.
//
//   line.expect("GCHTRI").reply("HTGCRI 0,0,0,0,0.00,0.00,0.00,0,0");
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "external/serial_port_backend.h"

namespace gc6890::test {

// "A\tB\n" -> "A\\tB\\n": control characters made visible in failure messages.
std::string escapeControl(const std::string& text);

class ScriptedLine : public SerialPortBackend {
public:
    // The next line the library must write (without its line feed).
    ScriptedLine& expect(const std::string& line);
    // The instrument's answer to the last expected line (a line feed is added).
    ScriptedLine& reply(const std::string& line);
    // Bytes given as they are, for partial or unterminated answers.
    ScriptedLine& replyBytes(const std::string& bytes);
    // Bytes the instrument sends before anything is written.
    ScriptedLine& unsolicited(const std::string& line);
    // After the last expected line has been written, the line hangs up.
    ScriptedLine& hangUpAfterLastExpect();
    // The line works again after a hang-up (a cable plugged back in).
    ScriptedLine& reconnect();
    // open() fails with this reason.
    ScriptedLine& failOpen(const std::string& reason);

    bool open(std::string& error) override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool write(std::string_view bytes, int timeoutMs) override;
    ReadResult read(char* buffer, std::size_t size, int timeoutMs) override;
    std::string describe() const override { return "scripted line"; }

    // Runs once at the start of the next read, as a window message or a timer dispatched
    // while a reply is awaited would.
    std::function<void()> duringNextRead;
    // Reads that find nothing before the line answers again (a slow instrument).
    int silentReads = 0;

    // Lines the script expected that were never written.
    std::vector<std::string> unmet() const;
    int openCount() const { return m_openCount; }

private:
    struct Step {
        std::string expected;
        std::string replyBytes;
        bool hangUp = false;
    };

    std::deque<Step> m_steps;
    std::string m_input;    // bytes waiting to be read
    std::string m_partial;  // written bytes not yet ended by a line feed
    std::string m_openFailure;
    bool m_open = false;
    bool m_hungUp = false;
    int m_openCount = 0;
};

}  // namespace gc6890::test
