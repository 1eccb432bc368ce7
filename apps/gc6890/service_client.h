// The host program as a client of a running service (--service URL, or the Service
// setting): the same commands, output and exit codes, the instrument reached through the
// service's HTTP API instead of the line.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace httplib {
class Client;
class Result;
}  // namespace httplib

namespace gc6890::cli {

struct GlobalOptions;

class ServiceClient {
public:
    // `url` as "http://HOST:PORT" or "https://HOST:PORT" (a path after it is ignored);
    // `token` may be empty for reads; `caFile` the CA certificate that signed an https
    // service's ("": the system's CAs). Throws CommandFailure (bad input) for a URL that is
    // neither.
    ServiceClient(const std::string& url, std::string token, std::string caFile = {});
    ~ServiceClient();

    const std::string& url() const { return url_; }

    // GET: the answer's JSON. Throws CommandFailure: no comms when the service cannot be
    // reached, failed for an answer other than 200.
    nlohmann::json get(const std::string& path) const;
    std::string getText(const std::string& path) const;
    // POST: the status and the JSON answer (400, 401, 409 are failures: CommandFailure with
    // the service's error text).
    nlohmann::json post(const std::string& path, const std::string& body,
                        const std::string& type = "application/json") const;

    // Submits a job and waits for its end, showing method-line progress; the final job.
    // Throws CommandFailure (failed) with the job's message when it failed.
    nlohmann::json runJob(const std::string& path, const nlohmann::json& body,
                          const std::string& what) const;

    // Follows the event stream until `onEvent` returns false, resuming after a cut where it
    // was. Throws CommandFailure (no comms) when the service cannot be reached at all.
    using EventHandler = std::function<bool(const std::string& name, const nlohmann::json& data)>;
    void follow(const EventHandler& onEvent) const;

private:
    // A client of the service, its certificate checked against the CA for https.
    std::unique_ptr<httplib::Client> client(int readTimeoutS) const;
    // Why the service could not be reached, with the fix when its certificate is not trusted.
    std::string unreachable(const httplib::Result& result) const;

    std::string url_;  // scheme://HOST:PORT
    std::string token_;
    std::string caFile_;
};

// The service chosen for this run (--service, else the Service setting), with its token
// (--token-file, else the Token setting) and CA (--ca, else the ServiceCaFile setting); or
// null.
std::unique_ptr<ServiceClient> chosenService(const GlobalOptions& globals);

// The commands through the service (service_commands.cpp): output and exit codes as on
// the line.
int statusViaService(const ServiceClient& service, bool watch, bool asJson);
int loadViaService(const ServiceClient& service, const std::string& typed);
int runViaService(const ServiceClient& service, const std::string& typed, int vial, float volume,
                  bool load, bool detach);
// A job without a method (stop, reset, zones): "WHAT: ok".
int jobViaService(const ServiceClient& service, const std::string& what, const std::string& path,
                  const nlohmann::json& body);
int recordViaService(const ServiceClient& service, const std::string& typed, float volume,
                     const std::string& out);
int logViaService(const ServiceClient& service);
// gc6890 sequence status through the service: the latest sequence's table (or ID's).
int sequenceStatusViaService(const ServiceClient& service, const std::string& id);
// gc6890 sequence pause | resume | abort through the service: the latest sequence (or ID),
// its table as the service answers.
int sequenceControlViaService(const ServiceClient& service, const std::string& action,
                              const std::string& id, bool skipRow);
// gc6890 watch: status lines, run states, jobs (and the log with `log`) until Ctrl-C.
int watchViaService(const ServiceClient& service, bool log);

}  // namespace gc6890::cli
