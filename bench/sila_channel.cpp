#include "sila_channel.h"

#include <chrono>

#include "bench_support.h"

namespace benchsupport {

std::shared_ptr<grpc::Channel> ownSilaChannel(const std::string& address, const std::string& caPem)
{
    grpc::SslCredentialsOptions ssl;
    ssl.pem_root_certs = caPem;
    grpc::ChannelArguments arguments;
    arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
    auto channel = grpc::CreateCustomChannel(address, grpc::SslCredentials(ssl), arguments);
    if (!channel->WaitForConnected(std::chrono::system_clock::now() + std::chrono::seconds(10)))
        die("cannot connect to the SiLA server on " + address);
    return channel;
}

}  // namespace benchsupport
