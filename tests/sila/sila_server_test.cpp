// gc6890 serve --sila end to end: the service on the simulator program, reached by a
// grpc++ client over TLS on loopback that trusts the CA the service made.
#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <regex>

#include "AuthorizationService.grpc.pb.h"
#include "GasChromatographController.grpc.pb.h"
#include "MethodProvider.grpc.pb.h"
#include "SiLAService.grpc.pb.h"
#include "service/sila/sila_certificates.h"
#include "service/sila/sila_home.h"
#include "service_fixture.h"
#include "sila_client.h"
#include "support/source_tree.h"

namespace gc6890::sila {
namespace {

namespace svc = sila2::org::silastandard::core::silaservice::v1;
namespace auth = sila2::org::silastandard::core::authorizationservice::v1;
namespace mp = sila2::io::gcsixeightninety::chromatography::methodprovider::v1;
namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;
using test::callContext;
using test::isSilaError;
using test::uploadMethod;

const std::string kMethodProvider = "io.gcsixeightninety/chromatography/MethodProvider/v1";

class SilaServer : public servicetest::ServiceFixture {
protected:
    void SetUp() override { ASSERT_TRUE(startSim()); }
    ::testing::AssertionResult serve(std::vector<std::string> options = {})
    {
        if (options.empty())
            options = {"--sila", "127.0.0.1:0"};
        options.insert(options.end(), {"--name", "GC 1"});
        return service.start(link, options);
    }
    std::shared_ptr<grpc::Channel> channel() const
    {
        return test::tlsChannel(service.silaAddress(), home.read("sila/ca.pem"));
    }
    std::string featureFile(const std::string& name) const
    {
        std::string text;
        readWhole(gc6890::test::sourcePath("sila/" + name).string(), text);
        return text;
    }
};

TEST_F(SilaServer, TellsItsIdentityAndFeaturesToClientsThatTrustItsCaAndKeepsTheNameSetOverIt)
{
    ASSERT_TRUE(serve());
    EXPECT_EQ(service.silaAddress().rfind("127.0.0.1:", 0), 0u) << service.silaAddress();
    auto stub = svc::SiLAService::NewStub(channel());

    svc::Get_ServerName_Responses name;
    ASSERT_TRUE(stub->Get_ServerName(callContext().get(), {}, &name).ok());
    EXPECT_EQ(name.servername().value(), "GC 1");
    svc::Get_ServerType_Responses type;
    ASSERT_TRUE(stub->Get_ServerType(callContext().get(), {}, &type).ok());
    EXPECT_EQ(type.servertype().value(), "GasChromatograph");
    svc::Get_ServerUUID_Responses uuid;
    ASSERT_TRUE(stub->Get_ServerUUID(callContext().get(), {}, &uuid).ok());
    EXPECT_EQ(uuid.serveruuid().value() + "\n", home.read("sila/server-uuid"));
    svc::Get_ServerVersion_Responses version;
    ASSERT_TRUE(stub->Get_ServerVersion(callContext().get(), {}, &version).ok());
    EXPECT_TRUE(std::regex_match(version.serverversion().value(), std::regex(R"(\d+\.\d+\.\d+)")));
    svc::Get_ServerVendorURL_Responses vendor;
    ASSERT_TRUE(stub->Get_ServerVendorURL(callContext().get(), {}, &vendor).ok());
    EXPECT_EQ(vendor.servervendorurl().value().rfind("https://", 0), 0u);
    svc::Get_ServerDescription_Responses description;
    ASSERT_TRUE(stub->Get_ServerDescription(callContext().get(), {}, &description).ok());
    EXPECT_THAT(description.serverdescription().value(), ::testing::HasSubstr(link));

    svc::Get_ImplementedFeatures_Responses features;
    ASSERT_TRUE(stub->Get_ImplementedFeatures(callContext().get(), {}, &features).ok());
    const std::map<std::string, std::string> files = {
        {"org.silastandard/core/SiLAService/v1", "SiLAService.sila.xml"},
        {"org.silastandard/core/AuthorizationService/v1", "AuthorizationService.sila.xml"},
        {"org.silastandard/core/LockController/v1", "LockController.sila.xml"},
        {"org.silastandard/core.commands/CancelController/v1", "CancelController.sila.xml"},
        {kMethodProvider, "MethodProvider.sila.xml"},
        {"io.gcsixeightninety/chromatography/GasChromatographController/v1",
         "GasChromatographController.sila.xml"},
        {"io.gcsixeightninety/chromatography/SequenceRunner/v1", "SequenceRunner.sila.xml"},
        {"org.silastandard/core.commands/PauseController/v1", "PauseController.sila.xml"}};
    ASSERT_EQ(features.implementedfeatures_size(), static_cast<int>(files.size()));
    for (const auto& feature : features.implementedfeatures()) {
        SCOPED_TRACE(feature.value());
        ASSERT_TRUE(files.count(feature.value()));
        svc::GetFeatureDefinition_Parameters ask;
        ask.mutable_featureidentifier()->set_value(feature.value());
        svc::GetFeatureDefinition_Responses definition;
        ASSERT_TRUE(stub->GetFeatureDefinition(callContext().get(), ask, &definition).ok());
        EXPECT_EQ(definition.featuredefinition().value(), featureFile(files.at(feature.value())));
    }

    struct Case {
        std::optional<std::string> identifier;
        fw::SiLAError::ErrorCase kind;
        std::string says;
    } cases[] = {
        {"org.example/none/Nope/v1", fw::SiLAError::kDefinedExecutionError,
         "org.silastandard/core/SiLAService/v1/DefinedExecutionError/UnimplementedFeature"},
        {"SiLAService", fw::SiLAError::kValidationError,
         "org.silastandard/core/SiLAService/v1/Command/GetFeatureDefinition/Parameter/"
         "FeatureIdentifier"},
        {std::nullopt, fw::SiLAError::kValidationError,
         "org.silastandard/core/SiLAService/v1/Command/GetFeatureDefinition/Parameter/"
         "FeatureIdentifier"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identifier.value_or("(none)"));
        svc::GetFeatureDefinition_Parameters ask;
        if (c.identifier)
            ask.mutable_featureidentifier()->set_value(*c.identifier);
        svc::GetFeatureDefinition_Responses definition;
        EXPECT_TRUE(isSilaError(stub->GetFeatureDefinition(callContext().get(), ask, &definition),
                                c.kind, c.says));
    }

    // SiLAService refuses any metadata.
    for (const std::string& token : {std::string(), service.token()}) {
        auto context = callContext(token);
        context->AddMetadata("sila-org.example-none-thing-v1-metadata-note-bin", "x");
        EXPECT_TRUE(isSilaError(stub->Get_ServerName(context.get(), {}, &name),
                                fw::SiLAError::kFrameworkError,
                                std::to_string(fw::FrameworkError::NO_METADATA_ALLOWED)));
    }

    // A client that trusts another CA is refused.
    ownTlsIdentity(home.path() + "/other", "127.0.0.1", randomUuid());
    const grpc::Status stranger =
        svc::SiLAService::NewStub(
            test::tlsChannel(service.silaAddress(), home.read("other/ca.pem")))
            ->Get_ServerName(callContext().get(), {}, &name);
    EXPECT_EQ(stranger.error_code(), grpc::StatusCode::UNAVAILABLE) << stranger.error_message();

    // A name set over SiLA survives a restart and wins over --name. (The UUID and the CA kept
    // across starts: SilaHome's cases.)
    EXPECT_TRUE(isSilaError(test::setServerName(channel(), std::nullopt),
                            fw::SiLAError::kValidationError,
                            "org.silastandard/core/SiLAService/v1/Command/SetServerName/"
                            "Parameter/ServerName"));
    EXPECT_TRUE(isSilaError(test::setServerName(channel(), std::string(256, 'n')),
                            fw::SiLAError::kValidationError));
    ASSERT_TRUE(test::setServerName(channel(), "Bench GC \xc3\xa4").ok());
    ASSERT_EQ(service.stop(), 0);

    // Another --name and another address: the stored name stands, and a certificate for the
    // address is made (the channel checks it).
    ASSERT_TRUE(service.start(link, {"--sila", "127.0.0.2:0", "--name", "GC 2"}));
    ASSERT_TRUE(
        svc::SiLAService::NewStub(channel())->Get_ServerName(callContext().get(), {}, &name).ok());
    EXPECT_EQ(name.servername().value(), "Bench GC \xc3\xa4");
    // The HTTP side keeps --name.
    EXPECT_EQ(service.get("/api/v1/status").value("name", ""), "GC 2");
}

TEST_F(SilaServer, CallsNeedATokenWhoseRoleAllowsThem)
{
    ASSERT_TRUE(serve());
    auto authorization = auth::AuthorizationService::NewStub(channel());
    auth::Get_FCPAffectedByMetadata_AccessToken_Responses affected;
    ASSERT_TRUE(
        authorization->Get_FCPAffectedByMetadata_AccessToken(callContext().get(), {}, &affected)
            .ok());
    std::vector<std::string> calls;
    for (const auto& call : affected.affectedcalls())
        calls.push_back(call.value());
    const std::string controller =
        "io.gcsixeightninety/chromatography/GasChromatographController/v1/Command/";
    const std::string lock = "org.silastandard/core/LockController/v1/Command/";
    const std::string cancel = "org.silastandard/core.commands/CancelController/v1/Command/";
    const std::string sequences = "io.gcsixeightninety/chromatography/SequenceRunner/v1/Command/";
    const std::string pause = "org.silastandard/core.commands/PauseController/v1/Command/";
    EXPECT_EQ(calls, (std::vector<std::string>{
                         lock + "LockServer", lock + "UnlockServer", cancel + "CancelCommand",
                         cancel + "CancelAll", kMethodProvider + "/Command/UploadMethod",
                         controller + "LoadMethod", controller + "Inject", controller + "StopRun",
                         controller + "ResetSampler", controller + "SwitchHeatedZones",
                         sequences + "RunSequence", sequences + "SkipPausedRow", pause + "Pause",
                         pause + "Resume"}));

    const std::string text = servicetest::method(0.5);
    const std::string invalidMetadata = std::to_string(fw::FrameworkError::INVALID_METADATA);
    EXPECT_TRUE(isSilaError(uploadMethod(channel(), callContext(), "short", text),
                            fw::SiLAError::kFrameworkError, invalidMetadata));
    auto garbled = callContext();
    garbled->AddMetadata(metadataKey(kAccessTokenFqi), "\x0a\x7f");
    EXPECT_TRUE(isSilaError(uploadMethod(channel(), std::move(garbled), "short", text),
                            fw::SiLAError::kFrameworkError, invalidMetadata));
    EXPECT_TRUE(
        isSilaError(uploadMethod(channel(), callContext(std::string(64, '0')), "short", text),
                    fw::SiLAError::kDefinedExecutionError, std::string(kInvalidAccessTokenFqi)));
    EXPECT_FALSE(home.exists("methods/short.toml"));
    // The metadata is checked before the parameters: no token and no name is about the token.
    auto methods = mp::MethodProvider::NewStub(channel());
    mp::UploadMethod_Responses uploaded;
    EXPECT_TRUE(isSilaError(methods->UploadMethod(callContext().get(), {}, &uploaded),
                            fw::SiLAError::kFrameworkError, invalidMetadata));
    // Refusals are counted with the HTTP door's.
    EXPECT_GE(
        servicetest::metric(service.client().Get("/metrics")->body, "gc6890_unauthorized_total"),
        3);

    // An account's role as at every door: a viewer's valid token is refused for what it
    // may not do, not taken for an invalid one; an operator's is taken.
    const std::string viewer = addAccount("vic", "viewer");
    EXPECT_TRUE(isSilaError(uploadMethod(channel(), callContext(viewer), "short", text),
                            fw::SiLAError::kDefinedExecutionError,
                            std::string(kPermissionDeniedFqi)));
    ASSERT_TRUE(
        uploadMethod(channel(), callContext(addAccount("olga", "operator")), "short", text).ok());
    // On loopback, reading needs no token.
    mp::Get_Methods_Responses list;
    ASSERT_TRUE(methods->Get_Methods(callContext().get(), {}, &list).ok());
    ASSERT_EQ(list.methods_size(), 1);
    EXPECT_EQ(list.methods(0).value(), "short");

    // Beyond loopback it needs one, a viewer's at least, and every feature is listed.
    ASSERT_EQ(service.stop(), 0);
    ASSERT_TRUE(serve({"--sila", "0.0.0.0:0"}));
    const std::string address = service.silaAddress();
    const auto everywhere = test::tlsChannel("127.0.0.1" + address.substr(address.rfind(':')),
                                             home.read("sila/ca.pem"));
    methods = mp::MethodProvider::NewStub(everywhere);
    EXPECT_TRUE(isSilaError(methods->Get_Methods(callContext().get(), {}, &list),
                            fw::SiLAError::kFrameworkError, invalidMetadata));
    EXPECT_TRUE(methods->Get_Methods(callContext(viewer).get(), {}, &list).ok());
    authorization = auth::AuthorizationService::NewStub(everywhere);
    ASSERT_TRUE(
        authorization->Get_FCPAffectedByMetadata_AccessToken(callContext().get(), {}, &affected)
            .ok());
    EXPECT_EQ(affected.affectedcalls_size(), 6);

    // A subscription open when its account is removed ends with the refusal a new call gets.
    auto watching = callContext(viewer, 30);
    auto runState = gcc::GasChromatographController::NewStub(everywhere)
                        ->Subscribe_RunState(watching.get(), {});
    gcc::Subscribe_RunState_Responses state;
    ASSERT_TRUE(runState->Read(&state));
    ASSERT_EQ(run({"user", "remove", "vic"}).exitCode, 0);
    while (runState->Read(&state)) {
    }
    EXPECT_TRUE(isSilaError(runState->Finish(), fw::SiLAError::kDefinedExecutionError,
                            std::string(kInvalidAccessTokenFqi)));
}

TEST_F(SilaServer, AMethodIsStoredOnlyWhenItReadsAndIsReadBackWhole)
{
    ASSERT_TRUE(serve());
    auto methods = mp::MethodProvider::NewStub(channel());
    const std::string token = service.token();
    const std::string content = servicetest::method(0.5);
    // A method file has at most 1 MiB: a comment fills it up to any size.
    const auto filledTo = [&content](std::size_t bytes) {
        return content + "#" + std::string(bytes - content.size() - 2, 'x') + "\n";
    };
    struct Case {
        std::optional<std::string> name, content;
        std::string parameter, says;
    } refused[] = {
        {"bad", content + "[gc.nonsense]\nx = 1\n", "Content",
         "bad.toml:" + std::to_string(std::count(content.begin(), content.end(), '\n') + 1) +
             ": gc.nonsense:"},
        {"a/b", content, "Name", "only letters, digits"},
        {std::nullopt, content, "Name", "missing"},
        {"bad", std::nullopt, "Content", "missing"},
        {"big", filledTo((1 << 20) + 1), "Content", "at most 1 MiB"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.says);
        mp::UploadMethod_Parameters upload;
        if (c.name)
            upload.mutable_name()->set_value(*c.name);
        if (c.content)
            upload.mutable_content()->set_value(*c.content);
        mp::UploadMethod_Responses uploaded;
        const grpc::Status status =
            methods->UploadMethod(callContext(token).get(), upload, &uploaded);
        EXPECT_TRUE(
            isSilaError(status, fw::SiLAError::kValidationError,
                        kMethodProvider + "/Command/UploadMethod/Parameter/" + c.parameter));
        EXPECT_THAT(test::messageOf(status), ::testing::HasSubstr(c.says));
    }
    mp::Get_Methods_Responses list;
    ASSERT_TRUE(methods->Get_Methods(callContext().get(), {}, &list).ok());
    EXPECT_EQ(list.methods_size(), 0);

    const std::string full = filledTo(1 << 20);
    ASSERT_TRUE(uploadMethod(channel(), callContext(token), "short.toml", full).ok());
    mp::GetMethod_Parameters get;
    get.mutable_name()->set_value("short");
    mp::GetMethod_Responses got;
    ASSERT_TRUE(methods->GetMethod(callContext().get(), get, &got).ok());
    EXPECT_EQ(got.content().value(), full);
    // The HTTP door sees the same folder.
    EXPECT_EQ(service.client().Get("/api/v1/methods/short")->body, full);

    get.mutable_name()->set_value("absent");
    EXPECT_TRUE(isSilaError(methods->GetMethod(callContext().get(), get, &got),
                            fw::SiLAError::kDefinedExecutionError,
                            kMethodProvider + "/DefinedExecutionError/UnknownMethod"));
}

TEST_F(SilaServer, OptionsThatCannotServeAreRefusedBeforeAnythingStarts)
{
    struct Case {
        std::vector<std::string> options;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"--sila", "0.0.0.0:0", "--sila-insecure"}, 2, "refused beyond loopback"},
        {{"--sila", "nope"}, 2, "--sila nope"},
        {{"--sila", "0", "--sila-cert", home.path() + "/cert.pem"}, 2, "go together"},
        {{"--sila-insecure"}, 2, "go with --sila"},
        {{"--sila", "0", "--sila-cert", home.path() + "/cert.pem", "--sila-key",
          home.path() + "/key.pem"},
         1,
         home.path() + "/cert.pem"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"serve", "--listen", "127.0.0.1:0", "--port", link};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        EXPECT_TRUE(hosttest::exited(run(arguments), c.exitCode, c.says));
    }
}

TEST_F(SilaServer, ALabsOwnCertificateOrPlainTextOnLoopback)
{
    // The lab's certificate: one made by another CA, for this server's address.
    ownTlsIdentity(home.path() + "/lab", "127.0.0.1", randomUuid());
    ASSERT_TRUE(serve({"--sila", "127.0.0.1:0", "--sila-cert", home.path() + "/lab/server.pem",
                       "--sila-key", home.path() + "/lab/server-key.pem"}));
    svc::Get_ServerName_Responses name;
    EXPECT_TRUE(
        svc::SiLAService::NewStub(test::tlsChannel(service.silaAddress(), home.read("lab/ca.pem")))
            ->Get_ServerName(callContext().get(), {}, &name)
            .ok());
    ASSERT_EQ(service.stop(), 0);

    ASSERT_TRUE(serve({"--sila", "127.0.0.1:0", "--sila-insecure"}));
    auto plain = grpc::CreateChannel(service.silaAddress(), grpc::InsecureChannelCredentials());
    EXPECT_TRUE(
        svc::SiLAService::NewStub(plain)->Get_ServerName(callContext().get(), {}, &name).ok());
    EXPECT_EQ(name.servername().value(), "GC 1");
}

}  // namespace
}  // namespace gc6890::sila
