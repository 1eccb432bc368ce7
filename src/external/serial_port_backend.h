// The one small interface behind which a serial line lives: a termios device, the
// in-process simulator, or the in-memory test line. The serial port library above it
// splits the byte stream into lines; a backend only moves bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gc6890 {

class SerialPortBackend {
public:
    enum class ReadStatus {
        Data,      // at least one byte was read
        TimedOut,  // nothing arrived within the time-out
        Gone,      // the device hung up or failed; it will not come back
    };

    struct ReadResult {
        ReadStatus status = ReadStatus::TimedOut;
        std::size_t count = 0;  // bytes placed in the buffer (Data only)
    };

    virtual ~SerialPortBackend() = default;

    // Opens the line; on failure returns false and sets error to a sentence naming the
    // device and the reason. Opening an open line succeeds.
    virtual bool open(std::string& error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Writes all the bytes, or returns false (the line failed or did not take them within
    // timeoutMs).
    virtual bool write(std::string_view bytes, int timeoutMs) = 0;

    // Waits at most timeoutMs for bytes and reads as many as are ready, up to size.
    virtual ReadResult read(char* buffer, std::size_t size, int timeoutMs) = 0;

    // Where the line leads, for messages ("/dev/ttyUSB0", "sim").
    virtual std::string describe() const = 0;
};

}  // namespace gc6890
