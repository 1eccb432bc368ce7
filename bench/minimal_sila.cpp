// The yardstick of the SiLA server's property reads: a plain grpc++ server answering
// GasChromatographController's Get_FirmwareVersion with a fixed text (the instrument's
// firmware as the service answers it, so the response is the same size), with the
// service's TLS identity (from GC6890_HOME, made by the service beforehand) and its
// listener settings, so that the two differ only in what a call does. Prints its port,
// serves until SIGTERM.
//
//     gc6890-bench-silad FIRMWARE_TEXT
#include <grpcpp/grpcpp.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "GasChromatographController.grpc.pb.h"
#include "service/sila/grpc_listener.h"
#include "service/sila/sila_home.h"

namespace {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;

class FixedFirmware final : public gcc::GasChromatographController::Service {
public:
    explicit FixedFirmware(std::string text) : text_(std::move(text)) {}

    grpc::Status Get_FirmwareVersion(grpc::ServerContext*,
                                     const gcc::Get_FirmwareVersion_Parameters*,
                                     gcc::Get_FirmwareVersion_Responses* response) override
    {
        response->mutable_firmwareversion()->set_value(text_);
        return grpc::Status::OK;
    }

private:
    std::string text_;
};

}  // namespace

int main(int argc, char** argv)
{
    using namespace gc6890::sila;
    FixedFirmware service(argc > 1 ? argv[1] : "");
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // gRPC's threads inherit the mask
    const TlsIdentity identity = ownTlsIdentity(silaFolder(), "127.0.0.1", loadOrMakeServerUuid());
    int port = 0;
    const auto server = listenWith("127.0.0.1:0", tlsCredentials(identity), {&service}, port);
    if (!server || port == 0)
        return 1;
    std::printf("%d\n", port);
    std::fflush(stdout);
    int caught = 0;
    sigwait(&signals, &caught);
    server->Shutdown();
    return 0;
}
