// A host of libgc6890 in one file: open communications with the GC and its sampler in the
// order the objects expect, poll the merged status, optionally load a method, and close.
//
//   cmake -S examples -B build-example -DCMAKE_PREFIX_PATH=PREFIX   (CMakeLists.txt here)
//   c++ -o host_session host_session.cpp $(pkg-config --cflags --libs gc6890)
//   ./host_session [METHOD]
//
// The device is the "Port" setting of the settings store ("sim", the simulator, when none
// is stored). Exit status: 0 success, 1 a failed poll or load, 3 no communication.
#include <cstdio>
#include <memory>

#include "gc/varnock_gc_system.h"
#include "interface/inlet_system_status.h"
#include "platform/platform.h"
#include "sampler/varnock_auto_sampler.h"

int main(int argc, char** argv)
{
    // The library shows its message boxes through this handler; a host decides how.
    SetMessageBoxHandler([](HWND, const char* text, const char* caption, UINT flags) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return gc6890::defaultMessageBoxAnswer(flags);
    });

    // The host keeps the objects as their base classes and calls the virtual interface.
    std::unique_ptr<CGCSystem> gc = std::make_unique<CVarnockGCSystem>();
    if (!gc->InitialiseComms()) {
        std::fprintf(stderr, "no communication with the GC\n");
        return 3;
    }
    std::unique_ptr<CAutoSampler> sampler = std::make_unique<CVarnockAutoSampler>();
    if (!sampler->InitialiseComms()) {
        std::fprintf(stderr, "no communication with the sampler\n");
        gc->CloseDownComms();
        return 3;
    }
    sampler->Initialise();

    // One poll of each object, merged into one record.
    CInletSystemStatus status;
    CInletSystemStatus samplerStatus;
    const bool polled = gc->ReadStatus(status) && sampler->ReadStatus(samplerStatus);
    status |= samplerStatus;
    std::printf("%s\nrunning %d, not ready %d, error %d, oven %.1f\n",
                status.GetStatusInfo().c_str(), status.GetRunning(), status.GetNotReady(),
                status.GetError(), static_cast<double>(status.GetTemperatureLeft()));

    int result = polled ? 0 : 1;
    if (argc > 1) {
        const CString method(argv[1]);
        if (gc->LoadMethod(method) && sampler->LoadMethod(method)) {
            std::printf("loaded %s\n", argv[1]);
        } else {
            std::fprintf(stderr, "the method %s was not loaded\n", argv[1]);
            result = 1;
        }
    }

    // A host pumps the library's timers in its loop (the sampler's injection wait and the
    // channel's rebuild run from them); here a short idle second.
    RunFor(1000);

    sampler->CloseDownComms();
    gc->CloseDownComms();
    sampler.reset();  // the last object to go closes the port
    gc.reset();
    return result;
}
