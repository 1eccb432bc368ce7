#include "service_client.h"

#include <httplib.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "cli_error.h"
#include "command_table.h"
#include "console.h"
#include "external/inlet_utils.h"
#include "external/port_interrupt.h"
#include "instrument_failure.h"
#include "service/safe_text.h"

namespace gc6890::cli {

namespace {

using nlohmann::json;

// A count of the job's method-line progress, as the bar takes it (0 when the service sent
// none that can be counted).
int progressCount(const json& progress, const char* key)
{
    return static_cast<int>(std::clamp<std::int64_t>(wholeField(progress, key).value_or(0), 0,
                                                     std::numeric_limits<int>::max()));
}

constexpr const char* kServicePath = "Inlets\\Hubrel\\Varnock\\Service";
constexpr const char* kTokenPath = "Inlets\\Hubrel\\Varnock\\Token";
constexpr const char* kCaPath = "Inlets\\Hubrel\\Varnock\\ServiceCaFile";

std::string errorOf(const httplib::Result& result)
{
    const json body = json::parse(result->body, nullptr, false);
    if (body.is_object() && body.contains("error") && body["error"].is_string())
        return body["error"].get<std::string>();
    return "HTTP " + std::to_string(result->status);
}

ExitCode exitFor(int status)
{
    return status == 400 || status == 404 || status == 413 ? kExitBadInput : kExitFailed;
}

// Shuts `client`'s connection when SIGINT or SIGTERM comes, from a thread of its own: the
// HTTP library retries a read a signal interrupts, so the stream's wait would otherwise
// last until the service's next event.
class StreamInterrupt {
public:
    explicit StreamInterrupt(httplib::Client& client)
        : waker_([this, &client] {
              pollfd signal{PortInterruptFd(), POLLIN, 0};
              while (!done_ && ::poll(&signal, 1, 200) == 0) {
              }
              if (!done_)
                  client.stop();
          })
    {}
    ~StreamInterrupt()
    {
        done_ = true;
        waker_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread waker_;
};

}  // namespace

ServiceClient::ServiceClient(const std::string& url, std::string token, std::string caFile)
    : token_(std::move(token)), caFile_(std::move(caFile))
{
    const std::size_t schemeEnd = url.find("://");
    const std::string scheme = schemeEnd == std::string::npos ? "" : url.substr(0, schemeEnd);
    const std::string rest =
        schemeEnd == std::string::npos
            ? ""
            : url.substr(schemeEnd + 3, url.find('/', schemeEnd + 3) - (schemeEnd + 3));
    const std::size_t colon = rest.rfind(':');
    const std::string host = colon == std::string::npos ? rest : rest.substr(0, colon);
    const int port = colon == std::string::npos ? (scheme == "https" ? 443 : 80)
                                                : std::atoi(rest.c_str() + colon + 1);
    if ((scheme != "http" && scheme != "https") || host.empty() || port <= 0 || port > 65535)
        throw CommandFailure(kExitBadInput,
                             "--service wants http://HOST:PORT or https://HOST:PORT, not " + url);
    url_ = scheme + "://" + host + ":" + std::to_string(port);
    // OpenSSL writes to the socket without MSG_NOSIGNAL (an alert after the connection was
    // cut, by the service or by Ctrl-C): a service gone is an error result, not SIGPIPE.
    if (scheme == "https")
        std::signal(SIGPIPE, SIG_IGN);
}

ServiceClient::~ServiceClient() = default;

std::unique_ptr<httplib::Client> ServiceClient::client(int readTimeoutS) const
{
    auto client = std::make_unique<httplib::Client>(url_);
    client->set_connection_timeout(5, 0);
    client->set_read_timeout(readTimeoutS, 0);
    if (!caFile_.empty())
        client->set_ca_cert_path(caFile_);
    return client;
}

std::string ServiceClient::unreachable(const httplib::Result& result) const
{
    std::string text =
        "cannot reach the service at " + url_ + ": " + httplib::to_string(result.error());
    if (result.error() == httplib::Error::SSLServerVerification)
        text += caFile_.empty() ? " (give the CA that signed its certificate with --ca FILE)"
                                : " (its certificate is not signed by " + caFile_ +
                                      " or does not name the host)";
    return text;
}

std::string ServiceClient::getText(const std::string& path) const
{
    const httplib::Result result = client(30)->Get(path);
    if (!result)
        throw CommandFailure(kExitNoComms, unreachable(result));
    if (result->status != 200)
        throw CommandFailure(exitFor(result->status), errorOf(result));
    return result->body;
}

json ServiceClient::get(const std::string& path) const
{
    const json body = json::parse(getText(path), nullptr, false);
    if (body.is_discarded())
        throw CommandFailure(kExitFailed, "the service at " + url_ + " did not answer JSON");
    return body;
}

json ServiceClient::post(const std::string& path, const std::string& body,
                         const std::string& type) const
{
    httplib::Headers headers;
    if (!token_.empty())
        headers.emplace("Authorization", "Bearer " + token_);
    const httplib::Result result = client(30)->Post(path, headers, body, type);
    if (!result)
        throw CommandFailure(kExitNoComms, unreachable(result));
    if (result->status == 401)
        throw CommandFailure(kExitFailed,
                             errorOf(result) + " (give it with --token-file or the Token setting)");
    if (result->status >= 300)
        throw CommandFailure(exitFor(result->status), errorOf(result));
    return json::parse(result->body, nullptr, false);
}

json ServiceClient::runJob(const std::string& path, const json& body, const std::string& what) const
{
    const json accepted = post(path, jsonText(body));
    const std::string url = textField(accepted, "url");
    std::unique_ptr<ProgressBar> bar;
    for (;;) {
        const json job = get(url);
        if (job.contains("progress")) {
            if (!bar)
                bar = std::make_unique<ProgressBar>("method lines");
            bar->update(progressCount(job["progress"], "sent"),
                        progressCount(job["progress"], "total"));
        }
        const std::string state = textField(job, "state");
        if (state == "done")
            return job;
        if (state == "failed")
            throw CommandFailure(kExitFailed, what + ": " + textField(job, "message"));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

std::unique_ptr<ServiceClient> chosenService(const GlobalOptions& globals)
{
    const std::string& tokenFile = globals.tokenFile;
    CString url(globals.service);
    if (url.IsEmpty())
        ReadRegistryPath(kServicePath, url, HKEY_LOCAL_MACHINE);
    if (url.IsEmpty())
        return nullptr;
    CString token;
    if (!tokenFile.empty()) {
        std::ifstream file(tokenFile);
        std::string text;
        if (!(file >> text))
            throw CommandFailure(kExitBadInput, "cannot read the token from " + tokenFile);
        token = CString(text);
    } else
        ReadRegistryPath(kTokenPath, token, HKEY_LOCAL_MACHINE);
    CString ca(globals.ca);
    if (ca.IsEmpty())
        ReadRegistryPath(kCaPath, ca, HKEY_LOCAL_MACHINE);
    return std::make_unique<ServiceClient>(url.str(), token.str(), ca.str());
}

}  // namespace gc6890::cli

namespace gc6890::cli {

void ServiceClient::follow(const EventHandler& onEvent) const
{
    // Ctrl-C ends the follow with the interrupted message and exit code, as on the line.
    InterruptPortWaitsOnSignals();
    std::string lastId;
    std::string pending;
    for (;;) {
        const std::unique_ptr<httplib::Client> stream = client(60);  // a word every 15 s
        const StreamInterrupt interrupt(*stream);
        httplib::Headers headers;
        if (!lastId.empty())
            headers.emplace("Last-Event-ID", lastId);
        pending.clear();
        const httplib::Result result =
            stream->Get("/api/v1/events", headers, [&](const char* data, std::size_t size) {
                pending.append(data, size);
                for (std::size_t end; (end = pending.find("\n\n")) != std::string::npos;) {
                    std::istringstream block(pending.substr(0, end));
                    pending.erase(0, end + 2);
                    std::string line, name, text;
                    while (std::getline(block, line)) {
                        if (line.rfind("id: ", 0) == 0)
                            lastId = line.substr(4);
                        else if (line.rfind("event: ", 0) == 0)
                            name = line.substr(7);
                        else if (line.rfind("data: ", 0) == 0)
                            text = line.substr(6);
                    }
                    if (!name.empty() &&
                        !onEvent(name, nlohmann::json::parse(text, nullptr, false)))
                        return false;
                }
                return true;
            });
        if (PortInterruptSignal() != 0)
            throw interruptedFailure("stopped following " + url_ + " (the service goes on)");
        if (!result && lastId.empty())
            throw CommandFailure(kExitNoComms, unreachable(result));
        if (result && result->status != 200)
            throw CommandFailure(exitFor(result->status), errorOf(result));
        if (result.error() == httplib::Error::Canceled)
            return;
        std::this_thread::sleep_for(std::chrono::seconds(1));  // cut: resume where it was
    }
}

}  // namespace gc6890::cli
