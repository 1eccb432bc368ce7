// Announces the SiLA 2 server over mDNS/DNS-SD through the machine's Avahi daemon, on a
// thread of Avahi's own (its threaded poll). Without a daemon or a system bus (containers,
// CI) it logs one line and does nothing more: the server serves on, unannounced. When the
// daemon restarts, the announcement is made again.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace gc6890::sila {

struct DiscoveryService {
    std::string instance;  // the server UUID
    int port = 0;
    // A server listening on loopback alone is announced on the loopback interface only:
    // the lab's network would otherwise learn of a server it cannot reach.
    bool loopbackOnly = false;
    std::vector<std::string> txt;  // discoveryTxt()
};

class DiscoveryAnnouncer {
public:
    // Connects to the daemon and announces `service`; never throws for a missing daemon.
    explicit DiscoveryAnnouncer(DiscoveryService service);
    // Withdraws the announcement and ends Avahi's thread.
    ~DiscoveryAnnouncer();
    DiscoveryAnnouncer(const DiscoveryAnnouncer&) = delete;
    DiscoveryAnnouncer& operator=(const DiscoveryAnnouncer&) = delete;

    // Announces new TXT entries (a new server name). Safe to call from any thread.
    void updateTxt(std::vector<std::string> txt);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace gc6890::sila
