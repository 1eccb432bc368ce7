// The SiLA 2 server under load: `gc6890 serve --sila` on gc6890-sim through a
// pseudo-terminal with a 1 s poll, reached over TLS as a lab's scheduler reaches it, and
// beside it a minimal grpc++ server (gc6890-bench-silad) answering the same read with the
// same identity and listener settings.
//   SilaPropertyRead: 32 clients read GasChromatographController's FirmwareVersion, one
//     call each at a time, the two servers taking turns a second each: the reads a second
//     of each, their ratio (goal: ours at least 0.8 of the minimal server's) and each
//     server's CPU per read.
//   SilaOvenUpdate: 64 subscribers of OvenTemperature while the oven cools (its heated
//     zones switched off, so that every poll reads a new temperature): the time from the
//     poll that read a value (its time in the service's history) to each subscriber's
//     receipt of it, p50 and p99 (goal: p99 within 50 ms).
//
//     bench_sila [--read-seconds 10] [--update-seconds 20] [Google Benchmark's options]
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AuthorizationService.pb.h"
#include "GasChromatographController.grpc.pb.h"
#include "bench_support.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"
#include "sila_channel.h"
#include "sila_readers.h"
#include "sila_subscribers.h"

namespace {

using benchsupport::die;
namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;

constexpr int kReaders = 32;
constexpr int kSubscribers = 64;
constexpr double kGoalRatio = 0.8;
constexpr double kGoalP99Ms = 50;

std::string readFile(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A process's CPU time so far (user and system), in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text(std::istreambuf_iterator<char>(file), {});
    // The fields after the command's name, which may hold spaces: state is field 3,
    // utime 14 and stime 15.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The service on the simulator, and the minimal server beside it.
struct Servers {
    benchsupport::PrivateHome home;
    benchsupport::DeviceProcess simulator{GC6890_BENCH_SIMULATOR, {}};
    benchsupport::Child service;
    benchsupport::Child minimal;
    std::string silaAddress, caPem, token, firmware;

    Servers()
    {
        home.setStatusFrequency(1000);
        service = benchsupport::startChild({GC6890_BENCH_HOST, "serve", "--listen", "127.0.0.1:0",
                                            "--port", simulator.device(), "--sila", "127.0.0.1:0",
                                            "--name", "bench"},
                                           2);
        // "SiLA 2 server on 127.0.0.1:PORT"
        silaAddress = service.lines[1].substr(service.lines[1].rfind(' ') + 1);
        caPem = readFile(home.path() + "/sila/ca.pem");
        token = readFile(home.path() + "/service-token");
        token = token.substr(0, token.find_first_of("\r\n"));
        firmware = firstFirmware();
        minimal = benchsupport::startChild({GC6890_BENCH_SILAD, firmware});
    }
    ~Servers()
    {
        benchsupport::stopChild(minimal);
        benchsupport::stopChild(service);
    }

    std::string minimalAddress() const { return "127.0.0.1:" + std::to_string(minimal.port); }

    // The firmware as the service answers it once it has polled the GC.
    std::string firstFirmware() const
    {
        auto stub = gcc::GasChromatographController::NewStub(
            benchsupport::ownSilaChannel(silaAddress, caPem));
        for (int i = 0; i < 150; ++i) {
            grpc::ClientContext context;
            gcc::Get_FirmwareVersion_Responses response;
            if (stub->Get_FirmwareVersion(&context, {}, &response).ok() &&
                !response.firmwareversion().value().empty())
                return response.firmwareversion().value();
            usleep(100000);
        }
        die("the service did not read the GC's firmware within 15 s");
    }

    // SwitchHeatedZones through the SiLA server, with the service's token.
    void switchZones(bool on) const
    {
        auto stub = gcc::GasChromatographController::NewStub(
            benchsupport::ownSilaChannel(silaAddress, caPem));
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
        sila2::org::silastandard::core::authorizationservice::v1::Metadata_AccessToken metadata;
        metadata.mutable_accesstoken()->set_value(token);
        context.AddMetadata(gc6890::sila::metadataKey(gc6890::sila::kAccessTokenFqi),
                            metadata.SerializeAsString());
        gcc::SwitchHeatedZones_Parameters parameters;
        parameters.mutable_on()->set_value(on);
        gcc::SwitchHeatedZones_Responses response;
        const grpc::Status status = stub->SwitchHeatedZones(&context, parameters, &response);
        if (!status.ok())
            die("SwitchHeatedZones failed: " + status.error_message());
    }

    // Each poll's time by the oven temperature it read, for the polls from `sinceUnixMs`
    // on (the first poll that read a value, where several did).
    std::map<double, double> pollTimesByOven(double sinceUnixMs) const
    {
        httplib::Client http("127.0.0.1", service.port);
        const auto reply = http.Get("/api/v1/history?seconds=3600");
        if (!reply || reply->status != 200)
            die("GET /api/v1/history failed");
        const nlohmann::json history = nlohmann::json::parse(reply->body);
        std::map<double, double> times;
        const auto& time = history.at("time_ms");
        const auto& oven = history.at("oven_temperature");
        for (std::size_t i = 0; i < time.size(); ++i)
            if (time[i].get<double>() >= sinceUnixMs)
                times.emplace(oven[i].get<double>(), time[i].get<double>());
        return times;
    }
};

// Made in main, and ended at exit as well, so that a benchmark that dies leaves no server.
std::unique_ptr<Servers> servers;

double unixNowMs()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void SilaPropertyRead(benchmark::State& state)
{
    benchsupport::PropertyReaders ours(servers->silaAddress, servers->caPem, kReaders);
    benchsupport::PropertyReaders minimal(servers->minimalAddress(), servers->caPem, kReaders);
    // Connections warmed and both servers' threads started before anything counts.
    ours.readFor(0.5, servers->firmware);
    minimal.readFor(0.5, servers->firmware);
    long oursReads = 0, minimalReads = 0;
    double oursSeconds = 0, minimalSeconds = 0, oursCpu = 0, minimalCpu = 0;
    bool oursFirst = true;
    auto turn = [&](benchsupport::PropertyReaders& readers, pid_t pid, long& reads, double& seconds,
                    double& cpu) {
        const double cpuBefore = cpuSeconds(pid);
        reads += readers.readFor(1.0, servers->firmware);
        seconds += 1.0;
        cpu += cpuSeconds(pid) - cpuBefore;
    };
    for (auto _ : state) {
        // Turns in alternating order, so that neither server always follows the other.
        for (int i = 0; i < 2; ++i) {
            if ((i == 0) == oursFirst)
                turn(ours, servers->service.pid, oursReads, oursSeconds, oursCpu);
            else
                turn(minimal, servers->minimal.pid, minimalReads, minimalSeconds, minimalCpu);
        }
        oursFirst = !oursFirst;
    }
    const double oursRate = oursReads / oursSeconds;
    const double minimalRate = minimalReads / minimalSeconds;
    state.counters["reads_per_s"] = oursRate;
    state.counters["minimal_reads_per_s"] = minimalRate;
    state.counters["ratio"] = oursRate / minimalRate;
    state.counters["cpu_us_per_read"] = oursCpu * 1e6 / static_cast<double>(oursReads);
    state.counters["minimal_cpu_us_per_read"] =
        minimalCpu * 1e6 / static_cast<double>(minimalReads);
    state.SetLabel(std::string("ratio goal >= 0.8: ") +
                   (oursRate >= kGoalRatio * minimalRate ? "met" : "MISSED"));
}

void SilaOvenUpdate(benchmark::State& state, double seconds)
{
    for (auto _ : state) {
        std::vector<double> delays;
        std::set<double> updates;  // the polls whose new value reached a subscriber
        std::size_t unmatched = 0;
        {
            benchsupport::OvenSubscribers subscribers(servers->silaAddress, servers->caPem,
                                                      kSubscribers);
            const double start = unixNowMs();
            servers->switchZones(false);
            usleep(static_cast<useconds_t>(seconds * 1e6));
            const std::map<double, double> polls = servers->pollTimesByOven(start);
            for (const auto& receipts : subscribers.receipts())
                for (const benchsupport::Receipt& receipt : receipts) {
                    const auto poll = polls.find(receipt.value);
                    if (poll == polls.end()) {
                        ++unmatched;
                        continue;
                    }
                    delays.push_back(receipt.unixMs - poll->second);
                    updates.insert(poll->second);
                }
        }
        // The oven heats back to its set point for the next run.
        servers->switchZones(true);
        const double p99 = benchsupport::percentile(delays, 99);
        state.counters["p50_ms"] = benchsupport::percentile(delays, 50);
        state.counters["p99_ms"] = p99;
        state.counters["max_ms"] = benchsupport::percentile(delays, 100);
        state.counters["updates"] = static_cast<double>(updates.size());
        // An update a subscriber never saw: its feed woke after a later poll (it sends
        // the latest value, not every one).
        state.counters["missed"] =
            static_cast<double>(updates.size() * kSubscribers - delays.size());
        state.counters["unmatched"] = static_cast<double>(unmatched);
        state.SetLabel(std::string("p99 goal <= 50 ms: ") +
                       (!delays.empty() && p99 <= kGoalP99Ms ? "met" : "MISSED"));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int readSeconds = benchsupport::intOption(argc, argv, "--read-seconds", 10);
    const int updateSeconds = benchsupport::intOption(argc, argv, "--update-seconds", 20);
    benchmark::Initialize(&argc, argv);
    servers = std::make_unique<Servers>();
    const Servers& started = *servers;
    std::printf("bench_sila: load average %s; %s; service pid %d, SiLA server on %s; minimal "
                "server pid %d on %s\n",
                benchsupport::loadAverage().c_str(), benchsupport::processorModel().c_str(),
                started.service.pid, started.silaAddress.c_str(), started.minimal.pid,
                started.minimalAddress().c_str());
    benchsupport::pinToLastCore();
    benchmark::RegisterBenchmark("SilaPropertyRead/32_clients", SilaPropertyRead)
        ->Iterations(std::max(1, readSeconds))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("SilaOvenUpdate/64_subscribers", SilaOvenUpdate,
                                 static_cast<double>(updateSeconds))
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    servers.reset();
    return 0;
}
