// What a finished job means to a SiLA client: the defined execution error of
// GasChromatographController that fits its failure. A pure function of the job and the
// snapshot, so that every mapping is tested in process.
#pragma once

#include <grpcpp/support/status.h>

#include "service/job_board.h"
#include "service/snapshot.h"

namespace gc6890::sila {

// GasChromatographController's defined execution error `error` ("LineLost") with `message`.
grpc::Status gcControllerError(const std::string& error, const std::string& message);

// The error a failed job ends its command with: LineLost when the line is not up,
// InstrumentBusy when a run held the GC, MethodRefused for a load the instrument did not
// take; otherwise an undefined execution error with the job's message.
grpc::Status jobFailure(const Job& job, const Snapshot& now);

// The error for a job refused before it started because `conflict` holds the instrument.
grpc::Status instrumentBusy(const JobRequest& request, const std::string& conflict);

}  // namespace gc6890::sila
