// The service's routes, without a socket or an instrument line: any request (method,
// target with % escapes, headers, body) is answered with a status, every JSON answer is
// JSON, every answer carries the security headers, and no exception gets out.
//
// The input is a request as it travels: "METHOD TARGET [VERSION]" on the first line, then header
// lines ("Name: value") up to an empty line, then the body. The state is built in process:
// a home in $TMPDIR with one stored method, the instrument thread never started (tasks for
// it are refused at once, as when it is busy).
#include <httplib.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/platform.h"
#include "service/http_api.h"
#include "service/instrument_thread.h"
#include "service/route_table.h"

namespace {

const std::string kToken(64, 'a');

struct Service {
    Service()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string home = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_http_XXXXXX";
        if (!mkdtemp(home.data()))
            std::abort();
        setenv("GC6890_HOME", home.c_str(), 1);
        const std::string methods = home + "/methods";
        gc6890::makeDirectories(methods);
        std::ifstream source(GC6890_SOURCE_DIR "/tests/service/short_method.toml");
        std::ofstream(methods + "/short.toml") << source.rdbuf();
        options.listen = "127.0.0.1:6890";
        options.allowHosts = {"gc1.lab.example"};
        state = std::make_unique<gc6890::ServiceState>(options);
        state->accounts.start(kToken, {});  // the corpus's requests carry it
        instrument = std::make_unique<gc6890::InstrumentThread>(*state);
        instrument->stop();  // never started: a task is refused at once
        api = std::make_unique<gc6890::HttpApi>(*state, *instrument, gc6890::MethodStore(methods),
                                                GC6890_SOURCE_DIR "/docs/openapi.json");
    }
    gc6890::ServiceOptions options;
    std::unique_ptr<gc6890::ServiceState> state;
    std::unique_ptr<gc6890::InstrumentThread> instrument;
    std::unique_ptr<gc6890::HttpApi> api;
};

std::string lineAt(const std::string& text, std::size_t& at)
{
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos)
        end = text.size();
    std::string line = text.substr(at, end - at);
    at = std::min(text.size(), end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Service* service = new Service;  // kept for the whole run
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    const std::string first = lineAt(input, at);
    httplib::Request req;
    const std::size_t space = first.find(' ');
    req.method = first.substr(0, space);
    req.target = space == std::string::npos ? "/" : first.substr(space + 1);
    req.target = req.target.substr(0, req.target.find(" HTTP/"));  // the version, if given
    const std::size_t query = req.target.find('?');
    req.path = httplib::detail::decode_url(req.target.substr(0, query), false);
    if (query != std::string::npos)
        httplib::detail::parse_query_text(req.target.substr(query + 1), req.params);
    for (std::string line = lineAt(input, at); !line.empty(); line = lineAt(input, at)) {
        const std::size_t colon = line.find(':');
        const std::size_t value = line.find_first_not_of(' ', colon + 1);
        if (colon != std::string::npos)
            req.headers.emplace(line.substr(0, colon),
                                value == std::string::npos ? "" : line.substr(value));
    }
    req.body = input.substr(at);
    req.remote_addr = req.local_addr = "127.0.0.1";
    req.remote_port = 40000;
    req.local_port = 6890;

    httplib::Response res;
    service->api->routes().dispatch(req, res);

    if (res.status < 100 || res.status > 599)
        std::abort();
    for (const char* header : {"Content-Security-Policy", "X-Content-Type-Options"})
        if (!res.has_header(header))
            std::abort();
    if (res.get_header_value("Content-Type") == "application/json" &&
        !nlohmann::json::accept(res.body))
        std::abort();
    return 0;
}
