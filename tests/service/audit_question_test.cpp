// The auditor's question, "who loaded which method, and exactly which version of it, before
// the injection of vial 12?", answered from the records alone: the audit trail as `gc6890
// audit show` prints it, the vial's results folder and the method's versions.
#include <gtest/gtest.h>

#include <filesystem>

#include "audit/sha256.h"
#include "sequence/sequence_clock.h"
#include "service/snapshot.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;

class AuditQuestion : public ServiceFixture {
protected:
    // POST with `token`; the answer as JSON.
    json postAs(const std::string& token, const std::string& path, const std::string& body,
                const std::string& type = "application/json")
    {
        const httplib::Result result =
            service.client().Post(path, {{"Authorization", "Bearer " + token}}, body, type);
        EXPECT_TRUE(result && result->status / 100 == 2)
            << path << ": " << (result ? result->body : "no answer");
        return result ? json::parse(result->body, nullptr, false) : json();
    }
    // A job asked with `token`, waited for to its end: its record then.
    json jobAs(const std::string& token, const std::string& path, const json& body)
    {
        const std::string url = postAs(token, path, body.dump()).value("url", "/api/v1/jobs/0");
        return service.waitFor(url, "state", {"done", "failed"}, 20000);
    }
};

TEST_F(AuditQuestion, TheTrailAndTheVialsResultsNameTheVersionEachUserLoaded)
{
    ASSERT_TRUE(startSim());
    ASSERT_TRUE(service.start(link));
    const std::string since = isoTime(unixNowMs());
    const std::string kim = addAccount("kim", "operator");
    const std::string lee = addAccount("lee", "operator");
    const std::string first = method(0.05), second = method(0.1);
    postAs(kim, "/api/v1/methods/c16", first, "text/plain");
    ASSERT_EQ(jobAs(kim, "/api/v1/load", {{"method", "c16"}})["state"], "done");
    postAs(lee, "/api/v1/methods/c16", second, "text/plain");
    ASSERT_EQ(jobAs(lee, "/api/v1/load", {{"method", "c16"}})["state"], "done");
    const json injected = jobAs(lee, "/api/v1/run", {{"method", "c16"}, {"vial", 12}});
    ASSERT_EQ(injected["state"], "done") << injected.dump();
    const json ran = service.waitFor(
        "/api/v1/jobs/" + std::to_string(injected.value("id", 0)),
        [](const json& job) { return job.contains("results_folder"); }, 20000);

    // Who loaded which version: the trail's load lines, each naming the method's hash.
    const hosttest::ProgramResult shown =
        run({"audit", "show", "--action", "load", "--since", since, "--json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    std::vector<std::string> loads;  // "user sha256 result"
    std::istringstream lines(shown.out);
    for (std::string line; std::getline(lines, line);) {
        const json entry = json::parse(line);
        loads.push_back(entry.value("user", "") + " " + entry["params"].value("sha256", "") + " " +
                        entry.value("result", ""));
    }
    EXPECT_EQ(loads, (std::vector<std::string>{"kim " + sha256Hex(first) + " accepted",
                                               "kim " + sha256Hex(first) + " ok",
                                               "lee " + sha256Hex(second) + " accepted",
                                               "lee " + sha256Hex(second) + " ok"}));

    // Which version the vial was injected with: its results folder says.
    std::ifstream runJson(ran.value("results_folder", "") + "/run.json");
    const json result = json::parse(runJson, nullptr, false);
    EXPECT_EQ(result.value("vial", 0), 12);
    EXPECT_EQ(result.value("method_sha256", ""), sha256Hex(second)) << ran.dump();

    // And both versions are there to be read, each with who uploaded it.
    const json versions = service.get("/api/v1/methods/c16/versions")["versions"];
    ASSERT_EQ(versions.size(), 2u) << versions.dump();
    EXPECT_EQ(versions[0]["sha256"], sha256Hex(first));
    EXPECT_EQ(versions[0]["user"], "kim");
    EXPECT_EQ(versions[1]["sha256"], sha256Hex(second));
    EXPECT_EQ(versions[1]["user"], "lee");
    EXPECT_TRUE(versions[1]["current"].get<bool>());
}

}  // namespace
}  // namespace gc6890::servicetest
