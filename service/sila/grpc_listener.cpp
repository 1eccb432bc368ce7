#include "service/sila/grpc_listener.h"

#include <grpcpp/resource_quota.h>
#include <grpcpp/server_builder.h>

#include "service/service_state.h"

namespace gc6890::sila {

namespace {

// A String may hold 2^21 characters (up to 4 bytes each); every message we take is far
// smaller, the largest a method file of at most 1 MiB.
constexpr int kMaxMessageBytes = 2 << 20;
// Threads serving calls at once. An open subscription holds one for as long as it lasts,
// and the service takes kMaxSubscribers of them (with the HTTP event streams): 64 more are
// left for every other call, so that a full house of subscribers cannot keep a stop out.
constexpr int kMaxThreads = static_cast<int>(kMaxSubscribers) + 64;

}  // namespace

std::shared_ptr<grpc::ServerCredentials> tlsCredentials(const TlsIdentity& identity)
{
    grpc::SslServerCredentialsOptions ssl;
    ssl.pem_key_cert_pairs.push_back({identity.privateKey, identity.certificateChain});
    return grpc::SslServerCredentials(ssl);
}

std::unique_ptr<grpc::Server> listenWith(
    const std::string& where, const std::shared_ptr<grpc::ServerCredentials>& credentials,
    const std::vector<grpc::Service*>& features, int& port)
{
    grpc::ServerBuilder builder;
    builder.AddListeningPort(where, credentials, &port);
    // A second service on the same port must fail, not share it.
    builder.AddChannelArgument(GRPC_ARG_ALLOW_REUSEPORT, 0);
    builder.SetMaxReceiveMessageSize(kMaxMessageBytes);
    grpc::ResourceQuota quota("gc6890-sila");
    quota.SetMaxThreads(kMaxThreads);
    builder.SetResourceQuota(quota);
    for (grpc::Service* feature : features)
        builder.RegisterService(feature);
    return builder.BuildAndStart();
}

}  // namespace gc6890::sila
