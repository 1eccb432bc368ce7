// A sampler object on the scripted instrument, with its side of the channel started and
// every class-wide and lock-out state back at its start. A line written beyond the script
// fails the test, so a case that must send nothing needs no check of its own.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "external/method_library.h"
#include "external/serial_comms.h"
#include "sampler/varnock_auto_sampler.h"
#include "support/box_recorder.h"
#include "support/scripted_instrument.h"

namespace gc6890::test {

// The outside program's window: records every sampler status block it is sent.
class BlockReceiver : public CWnd {
public:
    BlockReceiver() { CreateEx(0, "test receiver", "", 0, 0, 0, 1, 1, nullptr, nullptr); }
    LRESULT OnBlock(WPARAM, LPARAM data)
    {
        const auto* words = reinterpret_cast<const std::uint32_t*>(data);
        blocks.emplace_back(words, words + 7);
        return 1;
    }
    std::vector<std::vector<std::uint32_t>> blocks;

    DECLARE_MESSAGE_MAP()
};

class SamplerTest : public ScriptedInstrumentTest {
protected:
    void SetUp() override
    {
        FreeLock();
        CVarnockAutoSampler::m_sCommsInitialised = 0;
        CVarnockAutoSampler::m_sCommsRestartFailed = 0;
        CVarnockAutoSampler::m_sInjectorSelection = 1;
        CVarnockAutoSampler::m_sNextVial = 0;
        CVarnockAutoSampler::m_sOffsetBackVials = 0;
        CVarnockAutoSampler::m_sStatusBlock = SamplerRemoteData{};
        std::filesystem::create_directories(home.path() + "/methods");

        sampler = std::make_unique<CVarnockAutoSampler>();
        ASSERT_NE(sampler->m_pSerialComms, nullptr);
        if (startSamplerSide) {
            ASSERT_TRUE(sampler->m_pSerialComms->OpenSerialPort());
            CHP6890SerialComms::m_sCommsStatus = 2;
        }
    }
    void TearDown() override
    {
        EXPECT_FALSE(LockedOut()) << "the lock-out was left taken";
        CHP6890SerialComms::m_sCommsStatus = 0;  // nothing more to say to the line
        sampler.reset();
        ScriptedInstrumentTest::TearDown();
    }

    // A method whose GC part heats both inlets (split, type 1) and whose sampler part the
    // test sets; stored under name in the methods folder.
    void writeMethod(const std::string& name,
                     const std::function<void(CHP6890Method&, CALS6890Method&)>& edit)
    {
        CHP6890Method gc;
        gc.m_Inlets[0].m_nType = 1;
        gc.m_Inlets[1].m_nType = 1;
        CALS6890Method als;
        edit(gc, als);
        CFileS file;
        const std::string path = home.path() + "/methods/" + name + ".toml";
        ASSERT_TRUE(file.Open(path.c_str(), CFileS::modeCreate | CFileS::modeWrite));
        CArchiveS archive(&file, CArchiveS::store);
        ASSERT_TRUE(SerializeGCandALS(archive, gc, als));
        ASSERT_TRUE(file.Close()) << file.GetErrorText().c_str();
    }

    bool startSamplerSide = true;
    std::unique_ptr<CVarnockAutoSampler> sampler;
    BoxRecorder recorder;
    std::vector<std::string>& boxes = recorder.boxes;
};

}  // namespace gc6890::test
