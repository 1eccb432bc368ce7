#include "line_instrument.h"

#include "audit/sha256.h"
#include "cli_error.h"
#include "console.h"
#include "method_files.h"
#include "run_watch.h"
#include "sequence/sequence_file.h"
#include "service/snapshot.h"
#include "service/status_history.h"

namespace gc6890::cli {

namespace {

constexpr std::size_t kKeptSamples = 24 * 3600;

std::string partName(Instrument::Part part)
{
    return part == Instrument::Part::GC ? "the GC" : "the sampler";
}

}  // namespace

LineInstrument::LineInstrument(Instrument& instrument, std::string sequenceFile)
    : SequenceInstrumentBase(instrument), sequenceFile_(std::move(sequenceFile))
{}

void LineInstrument::poll()
{
    InstrumentStatus status;
    const bool ok = instrument_.poll(status) && !status.commsFailure();
    view_.lineUp = ok;
    if (!ok)
        return;
    view_ = sequenceView(status, view_.polls + 1);
    if (samples_.size() >= kKeptSamples)
        samples_.erase(samples_.begin(), samples_.begin() + kKeptSamples / 10);
    samples_.push_back(historySampleOf(status));
}

std::string LineInstrument::methodFile(const std::string& method, std::string& error) const
{
    try {
        return loadMethodFile(sequenceMethodFile(sequenceFile_, method)).fileName;
    } catch (const CommandFailure& failure) {
        error = failure.what();
        return {};
    }
}

std::string LineInstrument::withBox(const std::string& what, const std::string& boxBefore) const
{
    const std::string& box = lastMessageBox();
    return box.empty() || box == boxBefore ? what : what + ": " + box;
}

bool LineInstrument::load(const std::string& method, std::string& error)
{
    const std::string file = methodFile(method, error);
    if (file.empty())
        return false;
    const std::string box = lastMessageBox();
    const Instrument::Part refused = instrument_.load(file);
    if (refused != Instrument::Part::None)
        error = withBox(partName(refused) + " did not take the method " + file, box);
    return refused == Instrument::Part::None;
}

std::string LineInstrument::methodSha256(const std::string& method)
{
    return fileSha256(methodFileName(sequenceMethodFile(sequenceFile_, method)));
}

bool LineInstrument::beginInjection(const std::string& method, int vial, float volume,
                                    std::string& error)
{
    const std::string file = methodFile(method, error);
    if (file.empty())
        return false;
    const std::string box = lastMessageBox();
    switch (instrument_.inject(file, vial, volume)) {
    case Instrument::Part::Sampler:
        error = withBox("the sampler did not start the injection from vial " + std::to_string(vial),
                        box);
        return false;
    case Instrument::Part::GC:
        error = withBox("the GC did not start", box);
        return false;
    case Instrument::Part::None:
        break;
    }
    return true;
}

bool LineInstrument::record(const std::string& method, float volume, std::string& text)
{
    std::string error;
    const std::string file = methodFile(method, error);
    return !file.empty() && instrument_.record(file, volume, text);
}

nlohmann::json LineInstrument::history(std::int64_t fromMs, std::int64_t toMs)
{
    std::vector<HistorySample> picked;
    for (const HistorySample& sample : samples_) {
        if (sample.timeMs >= fromMs && sample.timeMs <= toMs)
            picked.push_back(sample);
    }
    return historyJson(picked);
}

}  // namespace gc6890::cli
