#include "sila_readers.h"

#include <chrono>
#include <optional>

#include "bench_support.h"
#include "sila_channel.h"

namespace benchsupport {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;

struct PropertyReaders::Client {
    std::unique_ptr<gcc::GasChromatographController::Stub> stub;
    // A call's state: gRPC takes a context for one call only.
    std::optional<grpc::ClientContext> context;
    gcc::Get_FirmwareVersion_Responses response;
    grpc::Status status;
    std::unique_ptr<grpc::ClientAsyncResponseReader<gcc::Get_FirmwareVersion_Responses>> call;

    void read(grpc::CompletionQueue& queue)
    {
        context.emplace();
        call = stub->AsyncGet_FirmwareVersion(&*context, {}, &queue);
        call->Finish(&response, &status, this);
    }
};

PropertyReaders::PropertyReaders(const std::string& address, const std::string& caPem, int clients)
{
    for (int i = 0; i < clients; ++i) {
        auto client = std::make_unique<Client>();
        client->stub = gcc::GasChromatographController::NewStub(ownSilaChannel(address, caPem));
        clients_.push_back(std::move(client));
    }
}

PropertyReaders::~PropertyReaders()
{
    queue_.Shutdown();
    void* tag = nullptr;
    bool ok = false;
    while (queue_.Next(&tag, &ok)) {
    }
}

long PropertyReaders::readFor(double seconds, const std::string& expected)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    for (auto& client : clients_)
        client->read(queue_);
    long answered = 0;
    int busy = static_cast<int>(clients_.size());
    // Calls still under way at the end are waited for, not counted.
    while (busy > 0) {
        void* tag = nullptr;
        bool ok = false;
        if (!queue_.Next(&tag, &ok) || !ok)
            die("the completion queue failed");
        Client& client = *static_cast<Client*>(tag);
        --busy;
        if (!client.status.ok())
            die("a property read failed: " + client.status.error_message());
        if (!expected.empty() && client.response.firmwareversion().value() != expected)
            die("a property read answered \"" + client.response.firmwareversion().value() +
                "\", not \"" + expected + "\"");
        if (Clock::now() < end) {
            ++answered;
            client.read(queue_);
            ++busy;
        }
    }
    return answered;
}

}  // namespace benchsupport
