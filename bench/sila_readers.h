// Clients reading an unobservable property as fast as a server answers: each on its own
// connection with one Get_FirmwareVersion outstanding at a time (a closed loop), all
// driven by the calling thread through one completion queue, so that the client side
// costs as little as it can.
#pragma once

#include <grpcpp/completion_queue.h>

#include <memory>
#include <string>
#include <vector>

#include "GasChromatographController.grpc.pb.h"

namespace benchsupport {

class PropertyReaders {
public:
    PropertyReaders(const std::string& address, const std::string& caPem, int clients);
    ~PropertyReaders();
    PropertyReaders(const PropertyReaders&) = delete;
    PropertyReaders& operator=(const PropertyReaders&) = delete;

    // Reads for `seconds`: the reads answered in that time. Ends the program on a failed
    // read, and on an answer other than `expected` when one is given.
    long readFor(double seconds, const std::string& expected = {});

private:
    struct Client;
    grpc::CompletionQueue queue_;
    std::vector<std::unique_ptr<Client>> clients_;
};

}  // namespace benchsupport
