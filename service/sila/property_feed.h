// Observable properties: a subscriber gets the value at once, then each new value, until it
// cancels or the service stops. The values come from the snapshot; the event hub wakes the
// feed at each poll (so a subscription takes one of the hub's subscriber places).
#pragma once

#include <grpcpp/server_context.h>
#include <grpcpp/support/sync_stream.h>

#include <atomic>
#include <functional>
#include <string>

#include "service/service_state.h"
#include "service/sila/instrument_status.h"

namespace gc6890::sila {

// `current` gives the value now, serialized; `send` writes one (false when the client is
// gone). Values equal to the last one sent are not sent again. The feed ends (OK) when the
// client cancels or `stopping` is set. `allowed` is asked again at every wake: an account
// removed, or its token rotated, while its subscription is open ends the feed with that
// refusal within a second, as its event stream over HTTP ends.
grpc::Status feedChanges(ServiceState& state, grpc::ServerContext& context,
                         const std::atomic<bool>& stopping,
                         const std::function<grpc::Status()>& allowed,
                         const std::function<std::string()>& current,
                         const std::function<bool(const std::string&)>& send);

// The same for a property's Subscribe_ call: `fill` sets the response from the status.
template <class Response>
grpc::Status feedProperty(ServiceState& state, grpc::ServerContext& context,
                          const std::atomic<bool>& stopping,
                          const std::function<grpc::Status()>& allowed,
                          grpc::ServerWriter<Response>& writer,
                          const std::function<void(const InstrumentStatus&, Response&)>& fill)
{
    return feedChanges(
        state, context, stopping, allowed,
        [&] {
            Response response;
            fill(instrumentStatusOf(*state.snapshot.get()), response);
            return response.SerializeAsString();
        },
        [&](const std::string& bytes) {
            Response response;
            response.ParseFromString(bytes);
            return writer.Write(response);
        });
}

}  // namespace gc6890::sila
