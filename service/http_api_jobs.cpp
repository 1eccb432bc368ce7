// The job routes: a job's state, and the jobs themselves (load, run, stop, reset, zones),
// checked as the broker's commands are (job_requests.h).
#include <httplib.h>

#include "service/http_api_replies.h"
#include "service/http_api_routes.h"
#include "service/job_requests.h"
#include "service/route_table.h"
#include "service/service_state.h"

namespace gc6890 {

using httplib::Request;
using httplib::Response;

void addJobRoutes(RouteTable& s, const ApiContext& api)
{
    ServiceState& state = api.state;
    s.get("/api/v1/jobs/([0-9]+)", [&state](const Request& req, Response& res) {
        std::optional<Job> job;
        try {
            job = state.jobs.find(std::stoull(req.matches[1].str()));
        } catch (const std::exception&) {
        }
        if (!job)
            return fail(res, 404, "no job " + req.matches[1].str());
        res.set_content(job->json() + "\n", kJsonType);
    });

    // The jobs: 202 at once with the job's id, 409 while another is under way.
    for (const JobKind kind :
         {JobKind::Load, JobKind::Run, JobKind::Stop, JobKind::Reset, JobKind::Zones})
        s.post(std::string("/api/v1/") + jobKindName(kind), jobAction(kind),
               [kind, &api](const Request& req, Response& res) {
                   JobRequest request =
                       jobRequestOf(kind, parseJsonObject(req.body, jobFields(kind)), api.methods);
                   // submitJob writes the job's lines in the audit trail.
                   request.origin = auditOrigin(api.caller(req), "http", req.remote_addr);
                   request.auditParams = jobAuditParams(request, api.methods);
                   const JobBoard::Submitted submitted = submitJob(api.state, request);
                   if (submitted.unrecorded)
                       return fail(res, 503, submitted.conflict);
                   if (submitted.id == 0 && !submitted.lockedUntil.empty())
                       return lockedOut(res, jobKindName(kind), submitted.conflict,
                                        submitted.lockedUntil);
                   if (submitted.id == 0)
                       return fail(res, 409, refusal(request, submitted.conflict));
                   const std::string url = "/api/v1/jobs/" + std::to_string(submitted.id);
                   created(res, 202, url, {{"job", submitted.id}, {"url", url}});
               });
}

}  // namespace gc6890
