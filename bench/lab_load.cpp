// The lab service under load: a mosquitto of its own on a free loopback port, 50 scripted
// instruments (one publisher: each one's retained `online` and `identity`, then a retained
// status a second each, spread over the second, as docs/mqtt.md has them), one
// `gc6890 lab serve` reading them, and 20 pages on its event stream. The pages are plain
// HTTP clients of /api/v1/lab/events (what the page's script reads), not browsers: a
// browser adds its own drawing to the figures and a Chromium per page made the run fragile
// on a small machine. The lab service starts with GC6890_LAB_OVEN_BACKFILL=1, so that its
// oven traces hold the full hour a lab running for an hour has.
//
// Measured over the run: the delay from each status's publication to its sight in each
// page's stream (p50, p99), the lab service's CPU (/proc/PID/stat) and peak memory
// (VmHWM), and the bytes each page receives per event.
//
//     bench_lab [--seconds 120] [--instruments 50] [--pages 20] [--host PATH]
//
// --host runs another build's gc6890 (to compare two builds on one machine).
#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "service/mqtt_broker.h"

using benchsupport::Child;
using benchsupport::connectLoopback;
using benchsupport::die;
using benchsupport::percentile;
using benchsupport::procStatus;
using benchsupport::readStamped;
using benchsupport::stampArrivals;
using benchsupport::startChild;
using benchsupport::stopChild;
using benchsupport::wallMs;

namespace {

std::string isoNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    return std::string(text) + "." + std::to_string(1000 + ms.count()).substr(1) + "Z";
}

std::string instrumentName(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "gc%02d", i + 1);
    return name;
}

// When each instrument's status number N was published (wall ms), for the pages to look up.
class Published {
public:
    explicit Published(int instruments) : times_(static_cast<std::size_t>(instruments)) {}
    void add(int instrument, double ms)
    {
        std::lock_guard lock(mutex_);
        times_[static_cast<std::size_t>(instrument)].push_back(ms);
    }
    // 0 when not (yet) published.
    double at(int instrument, std::size_t number)
    {
        std::lock_guard lock(mutex_);
        const auto& times = times_[static_cast<std::size_t>(instrument)];
        return number < times.size() ? times[number] : 0;
    }
    std::size_t count(int instrument)
    {
        std::lock_guard lock(mutex_);
        return times_[static_cast<std::size_t>(instrument)].size();
    }

private:
    std::mutex mutex_;
    std::vector<std::vector<double>> times_;
};

// Publishes as the instruments' services would: retained, at QoS 1.
class Publisher {
public:
    Publisher(int port, int instruments) : instruments_(instruments), published_(instruments)
    {
        mosquitto_lib_init();
        mosq_ = mosquitto_new("bench-lab-instruments", true, nullptr);
        mosquitto_max_inflight_messages_set(mosq_, 0);
        if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            die("the publisher cannot reach the broker");
        mosquitto_loop_start(mosq_);
    }
    ~Publisher()
    {
        stop();
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
        mosquitto_destroy(mosq_);
        mosquitto_lib_cleanup();
    }

    void announce()
    {
        for (int i = 0; i < instruments_; ++i) {
            const std::string name = instrumentName(i);
            publish(name + "/identity",
                    nlohmann::json{{"name", name},
                                   {"device", "/dev/serial/by-id/usb-FTDI-" + name},
                                   {"product", "6890 GC"},
                                   {"firmware", "A.06.05"},
                                   {"hardware", "FID FID; ALS"},
                                   {"commands", false},
                                   {"url", "http://" + name + ".lab:6891/"}}
                        .dump());
            publish(name + "/online", "true");
            status(i);
        }
    }

    // A status a second for each instrument, spread over the second, until stop().
    void start()
    {
        thread_ = std::thread([this] {
            const auto begin = std::chrono::steady_clock::now();
            for (long k = 0; !stopping_; ++k) {
                const auto due = begin + std::chrono::microseconds(k * 1'000'000 / instruments_);
                std::this_thread::sleep_until(due);
                status(static_cast<int>(k % instruments_));
            }
        });
    }
    void stop()
    {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    Published& published() { return published_; }

private:
    // Its status number N carries N as `elapsed_min`, which the lab shows as it is: a page
    // that sees it knows which status it sees.
    void status(int i)
    {
        const std::size_t number = published_.count(i);
        const std::string name = instrumentName(i);
        const double oven = 50.0 + std::round(100.0 * std::sin(number * 0.05 + i)) / 100.0;
        const nlohmann::json status = {
            {"name", name},
            {"run_state", "run"},
            {"running", true},
            {"post_running", false},
            {"line", "up"},
            {"line_reason", ""},
            {"stale", false},
            {"age_ms", 150},
            {"time", isoNow()},
            {"polls", number + 1},
            {"status_text", "RUN"},
            {"not_ready", false},
            {"not_ready_text", ""},
            {"error", false},
            {"error_text", ""},
            {"elapsed_min", static_cast<double>(number)},
            {"oven_temperature", oven},
            {"column1_pressure", 12.5},
            {"column1_flow", 1.2},
            {"column2_pressure", 0.0},
            {"column2_flow", 0.0},
            {"identity", {{"product", "6890 GC"}, {"firmware", "A.06.05"}}},
            {"sampler", {{"state", "idle"}, {"vial", 3}, {"tray", "ok"}}},
            {"job", nullptr},
            {"method", "split_front"},
            {"run_length_min", 1e6},
            {"vial", 3},
            {"sequence", nullptr}};
        const std::string payload = status.dump();
        published_.add(i, wallMs());
        publish(name + "/status", payload);
    }
    void publish(const std::string& leaf, const std::string& payload)
    {
        const std::string topic = "gc6890/" + leaf;
        if (mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 1, true) != MOSQ_ERR_SUCCESS)
            die("a publication failed: " + topic);
    }

    int instruments_;
    Published published_;
    mosquitto* mosq_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

// One page on /api/v1/lab/events: the chunked stream undone, cut into events.
struct Page {
    int fd = -1;
    std::string raw;     // as it came, chunked
    std::string events;  // the stream's text
    bool streaming = false;
    double arrivedMs = 0;
    std::size_t firstEventBytes = 0;
    std::size_t eventCount = 0;     // after the first
    std::size_t eventBytes = 0;     // after the first
    std::vector<std::size_t> seen;  // the newest status number seen of each instrument
};

class Pages {
public:
    Pages(int port, int count, int instruments, Published& published)
        : published_(published), epoll_(epoll_create1(EPOLL_CLOEXEC))
    {
        pages_.resize(static_cast<std::size_t>(count));
        for (Page& page : pages_) {
            page.fd = connectLoopback(port, true);
            if (page.fd < 0)
                die("a page cannot reach the lab service");
            page.seen.assign(static_cast<std::size_t>(instruments), 0);
            stampArrivals(page.fd);
            const std::string request = "GET /api/v1/lab/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                        "Accept: text/event-stream\r\n\r\n";
            if (::write(page.fd, request.data(), request.size()) !=
                static_cast<ssize_t>(request.size()))
                die("a page's request could not be written");
            epoll_event interest{};
            interest.events = EPOLLIN | EPOLLRDHUP;
            interest.data.ptr = &page;
            epoll_ctl(epoll_, EPOLL_CTL_ADD, page.fd, &interest);
        }
    }
    ~Pages()
    {
        for (const Page& page : pages_)
            close(page.fd);
        close(epoll_);
    }

    void listen(double ms)
    {
        for (const double end = wallMs() + ms; wallMs() < end;) {
            epoll_event ready[64];
            const int n =
                epoll_wait(epoll_, ready, 64, std::max(1, static_cast<int>(end - wallMs())));
            for (int i = 0; i < n; ++i)
                readable(*static_cast<Page*>(ready[i].data.ptr));
        }
    }

    // From now on, what the pages receive counts.
    void measure()
    {
        measuring_ = true;
        for (Page& page : pages_) {
            page.eventCount = 0;
            page.eventBytes = 0;
        }
    }
    std::vector<double>& delays() { return delays_; }
    const std::vector<Page>& pages() const { return pages_; }
    int closed() const { return closed_; }

private:
    void readable(Page& page)
    {
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = readStamped(page.fd, buffer, sizeof buffer, page.arrivedMs);
            if (n <= 0) {
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    ++closed_;
                    epoll_ctl(epoll_, EPOLL_CTL_DEL, page.fd, nullptr);
                }
                break;
            }
            page.raw.append(buffer, static_cast<std::size_t>(n));
        }
        unchunk(page);
        for (std::size_t end; (end = page.events.find("\n\n")) != std::string::npos;) {
            event(page, std::string_view(page.events).substr(0, end + 2));
            page.events.erase(0, end + 2);
        }
    }

    void unchunk(Page& page)
    {
        if (!page.streaming) {
            const std::size_t head = page.raw.find("\r\n\r\n");
            if (head == std::string::npos)
                return;
            if (page.raw.compare(0, 12, "HTTP/1.1 200") != 0)
                die("the lab service refused a page: " + page.raw.substr(0, page.raw.find('\r')));
            page.streaming = true;
            page.raw.erase(0, head + 4);
        }
        for (;;) {
            const std::size_t line = page.raw.find("\r\n");
            if (line == std::string::npos)
                return;
            const std::size_t size = std::strtoul(page.raw.c_str(), nullptr, 16);
            if (page.raw.size() < line + 2 + size + 2)
                return;
            page.events.append(page.raw, line + 2, size);
            page.raw.erase(0, line + 2 + size + 2);
        }
    }

    // Each instrument's record in the event: `"elapsed_min":N` comes before its `"name"`
    // (the keys are in order), and only the instruments' records have both.
    void event(Page& page, std::string_view text)
    {
        if (page.firstEventBytes == 0)
            page.firstEventBytes = text.size();
        else if (measuring_) {
            ++page.eventCount;
            page.eventBytes += text.size();
        }
        static constexpr std::string_view kElapsed = "\"elapsed_min\":";
        static constexpr std::string_view kName = "\"name\":\"gc";
        for (std::size_t at = text.find(kElapsed); at != std::string_view::npos;
             at = text.find(kElapsed, at + 1)) {
            const double number = std::strtod(text.data() + at + kElapsed.size(), nullptr);
            const std::size_t name = text.find(kName, at);
            if (name == std::string_view::npos)
                break;
            const int instrument = std::atoi(text.data() + name + kName.size()) - 1;
            if (instrument < 0 || instrument >= static_cast<int>(page.seen.size()))
                continue;
            const auto status = static_cast<std::size_t>(number);
            std::size_t& seen = page.seen[static_cast<std::size_t>(instrument)];
            if (status <= seen)
                continue;
            seen = status;
            const double publishedMs = published_.at(instrument, status);
            if (measuring_ && publishedMs > 0)
                delays_.push_back(page.arrivedMs - publishedMs);
        }
    }

    Published& published_;
    int epoll_;
    std::vector<Page> pages_;
    std::vector<double> delays_;
    bool measuring_ = false;
    int closed_ = 0;
};

// The process's user and system time in seconds (/proc/PID/stat, fields 14 and 15).
double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(file, text);
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15)
            system = std::stoull(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// GET `path` on a fresh connection: the body, "" when no whole 200 answer came.
std::string get(int port, const std::string& path)
{
    const int fd = connectLoopback(port, false);
    if (fd < 0)
        return "";
    const std::string request =
        "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        die("a request could not be written");
    std::string in;
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        in.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    const std::size_t head = in.find("\r\n\r\n");
    return in.compare(0, 12, "HTTP/1.1 200") == 0 && head != std::string::npos ? in.substr(head + 4)
                                                                               : "";
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = benchsupport::intOption(argc, argv, "--seconds", 120);
    const int instruments = benchsupport::intOption(argc, argv, "--instruments", 50);
    const int pageCount = benchsupport::intOption(argc, argv, "--pages", 20);
    const std::string host = benchsupport::textOption(argc, argv, "--host", GC6890_BENCH_HOST);
    std::signal(SIGPIPE, SIG_IGN);

    benchsupport::PrivateHome home;
    gc6890::servicetest::Broker broker(home.path());
    if (!broker.start())
        die("mosquitto did not start (is it installed? ./go setup)");
    setenv("GC6890_LAB_OVEN_BACKFILL", "1", 1);
    Child lab = startChild({host, "lab", "serve", "--mqtt",
                            "mqtt://127.0.0.1:" + std::to_string(broker.port()), "--listen",
                            "127.0.0.1:0"});
    std::printf("bench_lab: %s, load average %s; mosquitto on port %d, lab service pid %d on "
                "port %d\n",
                benchsupport::processorModel().c_str(), benchsupport::loadAverage().c_str(),
                broker.port(), lab.pid, lab.port);

    // The lab as a page opened after an hour finds it: every instrument announced, with its
    // oven's hour.
    Publisher publisher(broker.port(), instruments);
    publisher.announce();
    std::size_t labBytes = 0;
    for (const double end = wallMs() + 15000;;
         std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        const std::string body = get(lab.port, "/api/v1/lab");
        const nlohmann::json whole = nlohmann::json::parse(body, nullptr, false);
        if (whole.is_object() &&
            whole["instruments"].size() == static_cast<std::size_t>(instruments) &&
            std::all_of(whole["instruments"].begin(), whole["instruments"].end(),
                        [](const nlohmann::json& i) { return i["online"] == true; })) {
            labBytes = body.size();
            break;
        }
        if (wallMs() > end)
            die("the lab service did not show every instrument within 15 s");
    }
    std::printf("%d instruments announced, a status a second each from now on; GET /api/v1/lab "
                "is %zu bytes\n",
                instruments, labBytes);

    publisher.start();
    Pages pages(lab.port, pageCount, instruments, publisher.published());
    pages.listen(3000);
    pages.measure();
    const double cpuBefore = cpuSeconds(lab.pid);
    const double start = wallMs();
    pages.listen(seconds * 1e3);
    const double elapsed = (wallMs() - start) / 1e3;
    const double cpu = cpuSeconds(lab.pid) - cpuBefore;
    const std::string peak = procStatus(lab.pid, "VmHWM:");
    const std::string resident = procStatus(lab.pid, "VmRSS:");
    publisher.stop();

    std::size_t events = 0, bytes = 0, firstBytes = 0;
    for (const Page& page : pages.pages()) {
        events += page.eventCount;
        bytes += page.eventBytes;
        firstBytes = std::max(firstBytes, page.firstEventBytes);
    }
    std::vector<double>& delays = pages.delays();
    const double expected = elapsed * instruments * pageCount;
    std::printf("\n%d pages on /api/v1/lab/events for %.0f s, %d statuses a second\n", pageCount,
                elapsed, instruments);
    std::printf(
        "| status -> page p50 ms | p99 ms | max ms | statuses seen / published x pages | "
        "events/s a page | bytes an event (first) | bytes an event (later) | page kB/s | "
        "lab CPU %% of a core | peak RSS (VmHWM) |\n|---|---|---|---|---|---|---|---|---|---|\n");
    std::printf("| %.1f | %.1f | %.1f | %.3f | %.2f | %zu | %.0f | %.1f | %.1f | %s |\n",
                percentile(delays, 50), percentile(delays, 99),
                delays.empty() ? 0.0 : *std::max_element(delays.begin(), delays.end()),
                static_cast<double>(delays.size()) / expected,
                static_cast<double>(events) / pageCount / elapsed, firstBytes,
                events ? static_cast<double>(bytes) / static_cast<double>(events) : 0.0,
                static_cast<double>(bytes) / pageCount / elapsed / 1e3, 100.0 * cpu / elapsed,
                peak.c_str());
    std::printf("lab service resident at the end: %s; pages cut off: %d\n", resident.c_str(),
                pages.closed());
    stopChild(lab);
    return pages.closed() ? 1 : 0;
}
