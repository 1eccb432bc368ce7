// A GC object on the scripted instrument, with an outside program's window that can
// register with it and records what it is sent. A line written beyond the script fails the
// test, so a case that must send nothing needs no check of its own.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "gc/gc_shared_status.h"
#include "gc/varnock_gc_system.h"
#include "support/scripted_instrument.h"

namespace gc6890::test {

// The outside program: records data blocks and lock notices sent to its window.
class OutsideProgram : public CFrameWnd {
public:
    OutsideProgram() { Create(nullptr, "outside program"); }

    LRESULT OnData(WPARAM, LPARAM lParam)
    {
        blocks.emplace_back();
        std::memcpy(&blocks.back(), reinterpret_cast<const void*>(lParam), sizeof(GCRemoteData));
        return 1;
    }
    // The sender does not read the answer to a lock notice.
    LRESULT OnLock(WPARAM, LPARAM) { return ++locks; }
    LRESULT OnUnlock(WPARAM, LPARAM) { return ++unlocks; }

    std::vector<GCRemoteData> blocks;
    int locks = 0;
    int unlocks = 0;

    DECLARE_MESSAGE_MAP()
};

// For the life of a test: status texts go nowhere and the shared status starts empty.
class QuietGCStatus {
public:
    QuietGCStatus() : m_previous(SetStatusTextHandler([](const char*, const char*) {}))
    {
        ForgetSharedGCStatus();
    }
    ~QuietGCStatus() { SetStatusTextHandler(m_previous); }

private:
    StatusTextHandler m_previous;
};

class GCSystemTest : public ScriptedInstrumentTest {
protected:
    void SetUp() override { gc = std::make_unique<CVarnockGCSystem>(); }
    void TearDown() override
    {
        gc.reset();
        EXPECT_FALSE(LockedOut()) << "the lock-out was left taken";
        ScriptedInstrumentTest::TearDown();
    }

    // A failure rebuilds the channel, and the GC side of the new one starts again.
    void scriptRestart()
    {
        scriptGCStart();
        line->expect("GCHTDL");
    }
    // Opens communications with an idle GC; the registration window then exists.
    void initialise(int runState = 0)
    {
        scriptRestart();
        line->expect("V7V7SW 0");
        line->expect("GCHTRI").reply(runStateReply(runState));
        ASSERT_EQ(gc->InitialiseComms(), 1);
        gc->m_bFirstStatusRead = 0;  // the hardware profile has its own test
    }
    void registerOutsideProgram()
    {
        ASSERT_NE(gc->m_pRegRemoteWindow, nullptr);
        gc->m_pRegRemoteWindow->SendMessage(g_nRegisterToCommsMessage,
                                            reinterpret_cast<WPARAM>(outside.m_hWnd));
    }

    static std::string runStateReply(int state,
                                     const std::string& rest = "0,0,0,0.00,0.00,0.00,0,0")
    {
        return "HTGCRI " + std::to_string(state) + "," + rest;
    }
    // The three status queries of one poll, and the readings (an initialised object has
    // its registration window, so its polls take them).
    void scriptQueries(const std::string& runState, const std::string& readiness = "1,1,1,1,1,0",
                       const std::string& words = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
                       bool readings = true)
    {
        line->expect("GCHTRI").reply("HTGCRI " + runState);
        line->expect("GCHTRY").reply("HTGCRY " + readiness);
        line->expect("GCHTST").reply("HTGCST " + words);
        if (readings)
            scriptReadings();
    }
    // The five readings a poll takes when the object has a registration window.
    void scriptReadings(int oven = 45, int p1 = 215000, int p2 = 0, int f1 = 1500, int f2 = 0)
    {
        line->expect("OVHTST").reply("HTOVST 50,1," + std::to_string(oven));
        line->expect("C1HTPI ?").reply("HTC1PI " + std::to_string(p1));
        line->expect("C2HTPI ?").reply("HTC2PI " + std::to_string(p2));
        line->expect("C1HTFI ?").reply("HTC1FI " + std::to_string(f1));
        line->expect("C2HTFI ?").reply("HTC2FI " + std::to_string(f2));
    }
    std::string commsLog() const { return home.read("c/dravik/hp6890.err"); }

    QuietGCStatus quiet;
    OutsideProgram outside;
    std::unique_ptr<CVarnockGCSystem> gc;
};

}  // namespace gc6890::test
