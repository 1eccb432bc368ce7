// A small window that uses the shared channel as the GC and sampler objects do: it takes
// the channel from the registry, answers the failure message (letting the channel go, or
// refusing), and adopts a restored channel, starting its side again when it had been
// started before. Every message it receives is recorded for the test to check.
#pragma once

#include <string>
#include <vector>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/registered_messages.h"

namespace gc6890::test {

class ChannelUserWindow : public CWnd {
public:
    enum class Side { None, GC, Sampler };
    enum class Answer {
        LetGo,           // the sampler object: always gives the channel up
        Refuse,          // a window that cannot give it up
        RefuseWhileBusy  // the GC object: keeps it while a line is being written or read
    };

    explicit ChannelUserWindow(Side side = Side::None, Answer answer = Answer::LetGo);
    // Releases every registration the window made.
    ~ChannelUserWindow() override;

    // GetSerialComms for this window; the channel is kept.
    CHP6890SerialComms* Get();
    // Starts the window's side on its channel (and remembers to start it after a restore).
    int Start();

    LRESULT OnCommsFailure(WPARAM wParam, LPARAM lParam);
    LRESULT OnCommsRestore(WPARAM wParam, LPARAM lParam);

    Side m_side;
    Answer m_answer;
    CHP6890SerialComms* m_pChannel = nullptr;
    int m_nRegistrations = 0;
    bool m_bStarted = false;
    bool m_bRestartFailed = false;

    // What the registry sent: the number of failure and restore messages, and the channel
    // of the last restore with whether it was the registry's current channel at that moment
    // (counts, not a list: a thousand rebuilds must not grow the heap).
    int m_nFailures = 0;
    int m_nRestores = 0;
    struct Restore {
        CHP6890SerialComms* channel = nullptr;
        bool valid = false;
    };
    Restore m_lastRestore;
    // Every message in arrival order, shared between windows to check the broadcast order.
    std::vector<std::string>* m_pJournal = nullptr;
    std::string m_name;

    DECLARE_MESSAGE_MAP()
};

}  // namespace gc6890::test
