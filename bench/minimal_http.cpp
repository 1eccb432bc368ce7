// The HTTP library's own minimal handler, the yardstick of the service's request rate: a
// plain server answering GET /api/v1/status with a fixed body of the size given, on the
// same thread pool, keep-alive and socket settings as the service, so that the two differ
// only in what a request does. Prints its port, serves until SIGTERM.
//
//     gc6890-bench-httpd BODY_BYTES
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include "service/http_api.h"

int main(int argc, char** argv)
{
    const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
    const std::string body = "{\"pad\":\"" + std::string(size > 11 ? size - 11 : 0, 'x') + "\"}\n";
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(gc6890::kPoolThreads); };
    server.set_keep_alive_max_count(gc6890::kKeepAliveRequests);
    server.set_keep_alive_timeout(gc6890::kKeepAliveIdleS);
    server.set_tcp_nodelay(true);
    server.Get("/api/v1/status", [&body](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return 1;
    std::printf("%d\n", port);
    std::fflush(stdout);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // the pool threads inherit the mask
    std::thread serving([&server] { server.listen_after_bind(); });
    int caught = 0;
    sigwait(&signals, &caught);
    server.stop();
    serving.join();
    return 0;
}
