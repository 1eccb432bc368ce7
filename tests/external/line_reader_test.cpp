// Splitting the serial byte stream into lines, over the scripted line and a real
// pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "external/line_reader.h"
#include "external/termios_port.h"
#include "support/scripted_line.h"

namespace gc6890 {
namespace {

// The next line's text, or what came instead of it.
std::string next(LineReader& reader, SerialPortBackend& port, int timeoutMs = 100)
{
    std::string text;
    const LineReader::Status status = reader.readLine(port, timeoutMs, text);
    if (status == LineReader::Status::Line)
        return text;
    return status == LineReader::Status::TimedOut ? "(timed out)" : "(gone)";
}

// Bytes on an open scripted line.
class LineReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(line.open(error));
    }
    test::ScriptedLine line;
};

TEST_F(LineReaderTest, KeepsBytesAfterALineForTheNextRead)
{
    line.replyBytes("HTGCRI 1,2\nHTGCRY 0");  // one read brings a line and a half
    LineReader reader;
    EXPECT_EQ(next(reader, line), "HTGCRI 1,2");
    // The half line waits for its end; without it the read times out and keeps the bytes.
    EXPECT_EQ(next(reader, line), "(timed out)");
    line.replyBytes(",1\n\n");
    EXPECT_EQ(next(reader, line), "HTGCRY 0,1");
    EXPECT_EQ(next(reader, line), "");  // an empty line is a line
    EXPECT_EQ(reader.buffered(), 0u);
}

TEST_F(LineReaderTest, SplitsAtTheConfiguredEndOfDataCharacter)
{
    line.replyBytes("A\rB\n\r");
    LineReader reader('\r');
    EXPECT_EQ(next(reader, line), "A");
    EXPECT_EQ(next(reader, line), "B\n");
}

TEST_F(LineReaderTest, HandsOverALineThatNeverEnds)
{
    line.replyBytes(std::string(LineReader::kMaxLineLength + 10, 'x'));
    LineReader reader;
    // A time-out long enough for a slow (sanitizer) build to move the whole megabyte.
    EXPECT_GE(next(reader, line, 10000).size(), LineReader::kMaxLineLength);
}

// A pseudo-terminal pair: the test plays the instrument on the master side.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_path = ptsname(m_master);
    }
    ~PseudoTerminal() { hangUp(); }
    const std::string& path() const { return m_path; }
    void send(const std::string& bytes)
    {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    std::string receive()
    {
        char buffer[256];
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
    }
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_path;
};

TEST(TermiosPortTest, ExchangesLinesOverAPseudoTerminalUntilItHangsUp)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.path().empty());
    TermiosPort port(PortSettings{.device = pty.path()});
    std::string error;
    ASSERT_TRUE(port.open(error)) << error;
    EXPECT_TRUE(port.open(error));  // opening an open port succeeds

    ASSERT_TRUE(port.write("GCHTST\n", 1000));
    EXPECT_EQ(pty.receive(), "GCHTST\n");  // raw mode: no CR added
    pty.send("HTGCST 0,1\r\nHTGC");
    LineReader reader;
    EXPECT_EQ(next(reader, port, 1000), "HTGCST 0,1\r");  // raw mode: the CR arrives untouched
    EXPECT_EQ(next(reader, port, 20), "(timed out)");

    pty.hangUp();
    EXPECT_FALSE(port.write("GCHTRI\n", 1000));  // the write is the first to find it gone
    EXPECT_EQ(next(reader, port, 1000), "(gone)");
}

// A missing device and the refusal of a plain file in the host program's words are the host
// fault table's (host_faults_test.cpp); here the port's own check of its rate, made before
// the device is opened.
TEST(TermiosPortTest, RefusesABaudRateItCannotUse)
{
    TermiosPort port(PortSettings{.device = "/dev/null", .baudRate = 12345});
    std::string error;
    EXPECT_FALSE(port.open(error));
    EXPECT_EQ(error.rfind("cannot open /dev/null: BaudRate=12345", 0), 0u) << error;
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace gc6890
