#include "service/sila/discovery_announcer.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <iostream>

#include "service/sila/discovery_record.h"

namespace gc6890::sila {

struct DiscoveryAnnouncer::State {
    DiscoveryService service;
    std::string name;  // the instance name: the UUID, or an alternative after a collision
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
};

namespace {

using State = DiscoveryAnnouncer::State;

void notice(const std::string& text)
{
    std::cerr << "gc6890 serve: SiLA 2 discovery: " << text << '\n';
}

std::string avahiError(int error)
{
    return avahi_strerror(error);
}

// The loopback interface's index; AVAHI_IF_UNSPEC (every interface) when there is none.
AvahiIfIndex loopbackInterface()
{
    ifaddrs* addresses = nullptr;
    if (getifaddrs(&addresses) != 0)
        return AVAHI_IF_UNSPEC;
    AvahiIfIndex index = AVAHI_IF_UNSPEC;
    for (const ifaddrs* a = addresses; a && index == AVAHI_IF_UNSPEC; a = a->ifa_next)
        if (a->ifa_flags & IFF_LOOPBACK)
            index = static_cast<AvahiIfIndex>(if_nametoindex(a->ifa_name));
    freeifaddrs(addresses);
    return index == 0 ? AVAHI_IF_UNSPEC : index;
}

AvahiStringList* txtList(const std::vector<std::string>& txt)
{
    // Avahi keeps the list newest first and writes it oldest first: the order given.
    AvahiStringList* list = nullptr;
    for (const std::string& entry : txt)
        list = avahi_string_list_add_arbitrary(list, reinterpret_cast<const uint8_t*>(entry.data()),
                                               entry.size());
    return list;
}

void announce(State& s);

void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* data)
{
    State& s = *static_cast<State*>(data);
    s.group = group;
    if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) {
        notice("announced as " + s.name + "." + kDiscoveryServiceType + "." + kDiscoveryDomain);
    } else if (state == AVAHI_ENTRY_GROUP_COLLISION) {
        // Another server on the network took the name: the next free alternative.
        char* alternative = avahi_alternative_service_name(s.name.c_str());
        notice("the name " + s.name + " is taken on the network; announcing as " + alternative);
        s.name = alternative;
        avahi_free(alternative);
        avahi_entry_group_reset(group);
        announce(s);
    } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
        notice("the announcement failed: " +
               avahiError(avahi_client_errno(avahi_entry_group_get_client(group))));
    }
}

void announce(State& s)
{
    if (!s.group && !(s.group = avahi_entry_group_new(s.client, groupChanged, &s))) {
        notice("cannot announce: " + avahiError(avahi_client_errno(s.client)));
        return;
    }
    if (!avahi_entry_group_is_empty(s.group))
        return;
    AvahiStringList* txt = txtList(s.service.txt);
    int error = avahi_entry_group_add_service_strlst(
        s.group, s.interface, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), s.name.c_str(),
        kDiscoveryServiceType, kDiscoveryDomain, nullptr, static_cast<uint16_t>(s.service.port),
        txt);
    avahi_string_list_free(txt);
    if (error == AVAHI_ERR_COLLISION) {
        groupChanged(s.group, AVAHI_ENTRY_GROUP_COLLISION, &s);
        return;
    }
    if (error >= 0)
        error = avahi_entry_group_commit(s.group);
    if (error < 0)
        notice("cannot announce " + s.name + ": " + avahiError(error));
}

void clientChanged(AvahiClient* client, AvahiClientState state, void* data);

// False when there is no system bus or daemon to talk to at all.
bool connect(State& s, int& error)
{
    // NO_FAIL: with a bus but no daemon yet, the client waits for one (and so it comes back
    // after a daemon restart).
    s.client = avahi_client_new(avahi_threaded_poll_get(s.poll), AVAHI_CLIENT_NO_FAIL,
                                clientChanged, &s, &error);
    return s.client != nullptr;
}

void clientChanged(AvahiClient* client, AvahiClientState state, void* data)
{
    State& s = *static_cast<State*>(data);
    s.client = client;  // also called from within avahi_client_new, before it returns
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        announce(s);
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The host's own name is being (re)registered: the service follows once it runs.
        if (s.group)
            avahi_entry_group_reset(s.group);
        break;
    case AVAHI_CLIENT_FAILURE:
        if (avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED) {
            notice("the Avahi daemon went away; announcing again when it is back");
            avahi_client_free(client);
            s.client = nullptr;
            s.group = nullptr;  // freed with its client
            int error = 0;
            if (!connect(s, error))
                notice("cannot reach the system bus again: " + avahiError(error));
        } else {
            notice("the Avahi client failed: " + avahiError(avahi_client_errno(client)));
        }
        break;
    case AVAHI_CLIENT_CONNECTING:
        notice("waiting for the Avahi daemon to announce the server");
        break;
    }
}

}  // namespace

DiscoveryAnnouncer::DiscoveryAnnouncer(DiscoveryService service) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.service = std::move(service);
    s.name = s.service.instance;
    if (s.service.loopbackOnly)
        s.interface = loopbackInterface();
    if (!(s.poll = avahi_threaded_poll_new())) {
        notice("cannot start Avahi's thread; the server is not announced");
        return;
    }
    int error = 0;
    if (!connect(s, error)) {
        notice("not announced over mDNS (" + avahiError(error) +
               ": no Avahi daemon or system bus); clients need the server's address");
        avahi_threaded_poll_free(s.poll);
        s.poll = nullptr;
        return;
    }
    if (avahi_threaded_poll_start(s.poll) < 0) {
        notice("cannot start Avahi's thread; the server is not announced");
        avahi_client_free(s.client);
        avahi_threaded_poll_free(s.poll);
        s.poll = nullptr;
        s.client = nullptr;
    }
}

DiscoveryAnnouncer::~DiscoveryAnnouncer()
{
    State& s = *state_;
    if (!s.poll)
        return;
    avahi_threaded_poll_stop(s.poll);
    if (s.client)
        avahi_client_free(s.client);  // withdraws the announcement, frees the group
    avahi_threaded_poll_free(s.poll);
}

void DiscoveryAnnouncer::updateTxt(std::vector<std::string> txt)
{
    State& s = *state_;
    if (!s.poll)
        return;
    avahi_threaded_poll_lock(s.poll);
    s.service.txt = std::move(txt);
    if (s.group && !avahi_entry_group_is_empty(s.group)) {
        AvahiStringList* list = txtList(s.service.txt);
        const int error = avahi_entry_group_update_service_txt_strlst(
            s.group, s.interface, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), s.name.c_str(),
            kDiscoveryServiceType, kDiscoveryDomain, list);
        avahi_string_list_free(list);
        if (error < 0)
            notice("cannot announce the new TXT record: " + avahiError(error));
    }
    avahi_threaded_poll_unlock(s.poll);
}

}  // namespace gc6890::sila
