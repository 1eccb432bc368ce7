#include "service/sila/job_outcome.h"

#include "service/job_requests.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_names.h"

namespace gc6890::sila {

grpc::Status gcControllerError(const std::string& error, const std::string& message)
{
    return definedError(kGcControllerFeature, error, message);
}

grpc::Status jobFailure(const Job& job, const Snapshot& now)
{
    if (now.line != LineState::Up)
        return gcControllerError(
            "LineLost", std::string("the line to the instrument is ") + lineStateName(now.line) +
                            (now.lineReason.empty() ? "" : " (" + now.lineReason + ")") + ": " +
                            job.message);
    // The instrument thread's word when a run began between the job's start and its turn.
    if (job.message.find("in a run") != std::string::npos)
        return gcControllerError("InstrumentBusy", job.message);
    if (job.request.kind == JobKind::Load)
        return gcControllerError("MethodRefused", job.message);
    return undefinedError(job.message);
}

grpc::Status instrumentBusy(const JobRequest& request, const std::string& conflict)
{
    return gcControllerError("InstrumentBusy", refusal(request, conflict));
}

}  // namespace gc6890::sila
