// The GC and its sampler as one instrument: the two objects (the sampler is optional: a
// GC-only session exists) and the channel they share, driven in the design's order. Open:
// construct the GC, InitialiseComms; construct the sampler, InitialiseComms, Initialise.
// Close: the sampler's side first, then the GC's; the objects after. The host program and
// the service both stand on it. Used on one thread: the one that pumps the messages.
#pragma once

#include <memory>
#include <string>

#include "station/concrete_objects.h"
#include "station/instrument_status.h"

namespace gc6890 {

class Instrument {
public:
    enum class Parts { GCOnly, GCAndSampler };
    // Which part an operation failed in (None: it succeeded).
    enum class Part { None, GC, Sampler };

    // `progress` is told after each method line a GC method download sends.
    explicit Instrument(DownloadProgress progress = {});
    // Closes communications (as close()).
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Opens communications with the parts; on failure closes what was opened and names the
    // part that could not be started.
    Part open(Parts parts);
    // False when a part closed without the instrument's answer (true with nothing open).
    bool close();
    bool isOpen() const { return gc_ != nullptr; }
    bool hasSampler() const { return sampler_ != nullptr; }

    // Polls the GC, then the sampler, into one status (pre-run included). False when a poll
    // failed, the sampler's failed exchange included (its status read answers 1 then: the
    // poll listens for the channel's failure broadcast). The sampler is reached through the
    // GC, so after a failed GC poll it is not asked (that would only wait out another
    // time-out). `status` then holds what the polls filled.
    bool poll(InstrumentStatus& status);

    // A method file: the GC's part (its download), then the sampler's.
    Part load(const std::string& file);
    bool loadGC(const std::string& file);
    bool loadSampler(const std::string& file);
    // The sampler injects from `vial` with the file's sampler part; the GC's own start then
    // sends nothing (its method is the one loaded last).
    Part inject(const std::string& file, int vial, float volume);
    // Where the injection stands (None when it was answered at once).
    InjectionWait injectionWait();
    bool injectionAnswerOk();
    // The sampler, then the GC's run, both asked whatever the first answered.
    Part stop();
    bool resetSampler();
    bool zones(bool on);
    bool gcOn();
    // The experiment record of the method file with the injection volume, as "gc6890
    // record" prints it. Needs the objects, not the line: objects of its own are made
    // when communications are not open. False when the file cannot be read.
    bool record(const std::string& file, float volume, std::string& text);

    // Facts only the concrete objects give ("" / null before open()).
    std::string firmware();
    std::string hardwareReport();
    HWND gcWindow();
    HWND samplerWindow();

    // The parts themselves, for what the object does not cover (open only).
    CGCSystem& gc() { return *gc_; }
    CAutoSampler& sampler() { return *sampler_; }

private:
    DownloadProgress progress_;
    std::unique_ptr<CGCSystem> gc_;
    std::unique_ptr<CAutoSampler> sampler_;
};

}  // namespace gc6890
