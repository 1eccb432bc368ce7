#include "service_process.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/program_run.h"
#include "support/child_process.h"

namespace gc6890::servicetest {

::testing::AssertionResult ServiceProcess::start(const std::string& device,
                                                 const std::vector<std::string>& extra)
{
    std::vector<std::string> words = {"serve", "--listen", "127.0.0.1:0", "--port", device};
    words.insert(words.end(), extra.begin(), extra.end());
    const test::Spawned service = test::spawnProgram(
        hosttest::programPath(), words,
        {.errFile = errorLog.empty() ? "/dev/null" : errorLog, .ownGroup = ownGroup});
    pid_ = service.pid;
    // The first line is the URL, naming the scheme served; with --sila, the second is
    // "SiLA 2 server on HOST:PORT".
    std::string line;
    test::readLine(service.out, 20000, line);
    const std::size_t colon = line.rfind(':');
    const bool url = line.rfind(caFile.empty() ? "http://" : "https://", 0) == 0;
    port_ = url && colon != std::string::npos ? std::atoi(line.c_str() + colon + 1) : 0;
    silaAddress_.clear();
    if (port_ > 0 && std::find(extra.begin(), extra.end(), "--sila") != extra.end()) {
        std::string second;
        test::readLine(service.out, 20000, second);
        const std::string prefix = "SiLA 2 server on ";
        if (second.rfind(prefix, 0) == 0) {
            silaAddress_ = second.substr(prefix.size());
        } else {
            port_ = 0;
            line += " / " + second;
        }
    }
    close(service.out);  // (-1 when it could not start: a harmless EBADF)
    if (port_ <= 0)
        return ::testing::AssertionFailure() << "gc6890 serve printed no URL: " << line;
    const nlohmann::json status = waitFor("/api/v1/status", "line", {"up"}, 20000);
    if (status.value("line", "") != "up")
        return ::testing::AssertionFailure() << "the line is not up: " << status.dump();
    return ::testing::AssertionSuccess();
}

int ServiceProcess::stop()
{
    if (pid_ > 0)
        kill(pid_, SIGTERM);
    return waitForExit(30000);
}

int ServiceProcess::waitForExit(int ms)
{
    const int status = pid_ > 0 ? test::waitForChild(pid_, ms) : -1;
    pid_ = -1;
    return status;
}

httplib::Client ServiceProcess::client() const
{
    httplib::Client client(url());
    if (!caFile.empty())
        client.set_ca_cert_path(caFile);
    client.set_read_timeout(10, 0);
    return client;
}

std::string ServiceProcess::token() const
{
    std::string token;
    std::ifstream(std::string(std::getenv("GC6890_HOME")) + "/service-token") >> token;
    return token;
}

nlohmann::json ServiceProcess::get(const std::string& path) const
{
    const httplib::Result result = client().Get(path);
    return result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json();
}

std::pair<int, nlohmann::json> ServiceProcess::post(const std::string& path,
                                                    const std::string& body,
                                                    const std::string& type) const
{
    const httplib::Result result = client().Post(path, auth(), body, type);
    return {result ? result->status : 0,
            result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json()};
}

std::pair<int, nlohmann::json> ServiceProcess::ask(const std::string& method,
                                                   const std::string& path, const std::string& body,
                                                   const httplib::Headers& headers) const
{
    httplib::Request req;
    req.method = method;
    req.path = path;
    req.headers = headers;
    req.body = body;
    if (!body.empty())
        req.set_header("Content-Type",
                       body[0] == '{' || body[0] == '[' ? "application/json" : "text/plain");
    int status = 0;
    req.response_handler = [&](const httplib::Response& res) {
        status = res.status;
        return res.get_header_value("Content-Type") != "text/event-stream";  // never ends
    };
    const httplib::Result result = client().send(req);
    return {status,
            result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json()};
}

nlohmann::json ServiceProcess::waitFor(const std::string& path,
                                       const std::function<bool(const nlohmann::json&)>& done,
                                       int ms) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    nlohmann::json last;
    do {
        last = get(path);
        if (done(last))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return last;
}

nlohmann::json ServiceProcess::waitFor(const std::string& path, const std::string& key,
                                       const std::vector<std::string>& values, int ms) const
{
    const auto done = [&](const nlohmann::json& answer) {
        return answer.is_object() &&
               std::count(values.begin(), values.end(), answer.value(key, std::string())) > 0;
    };
    return waitFor(path, done, ms);
}

EventReader::EventReader(int port, std::optional<std::uint64_t> lastEventId,
                         const std::string& caFile)
    : client_((caFile.empty() ? "http" : "https") + std::string("://127.0.0.1:") +
              std::to_string(port))
{
    if (!caFile.empty())
        client_.set_ca_cert_path(caFile);
    client_.set_read_timeout(60, 0);
    httplib::Headers headers;
    if (lastEventId)
        headers.emplace("Last-Event-ID", std::to_string(*lastEventId));
    thread_ = std::thread([this, headers] {
        client_.Get("/api/v1/events", headers, [this](const char* data, std::size_t size) {
            parse(data, size);
            return !stopping_;
        });
    });
}

EventReader::~EventReader()
{
    stopping_ = true;
    client_.stop();
    thread_.join();
}

void EventReader::parse(const char* data, std::size_t size)
{
    pending_.append(data, size);
    for (std::size_t end; (end = pending_.find("\n\n")) != std::string::npos;) {
        std::istringstream block(pending_.substr(0, end));
        pending_.erase(0, end + 2);
        Event event;
        for (std::string line; std::getline(block, line);) {
            if (line.rfind("id: ", 0) == 0)
                event.id = std::stoull(line.substr(4));
            else if (line.rfind("event: ", 0) == 0)
                event.name = line.substr(7);
            else if (line.rfind("data: ", 0) == 0)
                event.data = nlohmann::json::parse(line.substr(6), nullptr, false);
        }
        if (!event.name.empty())
            add(std::move(event));
    }
}

double metric(const std::string& metrics, const std::string& name)
{
    const std::size_t at = ("\n" + metrics).find("\n" + name + " ");
    return at == std::string::npos ? -1.0 : std::stod(metrics.substr(at + name.size() + 1));
}

std::string describe(const std::string& name, const nlohmann::json& data)
{
    if (name == "job")
        return data.value("kind", "") + " " + data.value("state", "");
    if (name == "run")
        return "run state " + data.value("state", "");
    if (name == "lock")
        return data.value("locked", false) ? "locked" : "unlocked";
    return name;
}

void expectLoadThenRun(const std::vector<std::string>& seen)
{
    const auto position = [&](const std::string& what) {
        return std::find(seen.begin(), seen.end(), what) - seen.begin();
    };
    const std::vector<std::string> order = {"load queued",   "load running",  "locked",
                                            "load done",     "run queued",    "run done",
                                            "run state run", "run state idle"};
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        EXPECT_LT(position(order[i]), position(order[i + 1]))
            << order[i] << " before " << order[i + 1];
}

std::string method(double minutes)
{
    std::ifstream file(GC6890_SOURCE_DIR "/tests/service/short_method.toml");
    std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::string length = "run_length = 0.5";
    return text.replace(text.find(length), length.size(),
                        "run_length = " + std::to_string(minutes));
}

}  // namespace gc6890::servicetest
