// The SiLA 2 server's wire pieces in process: the error encoding, the metadata key and
// message, the --sila address, a feature's identifier read from its definition.
#include <gtest/gtest.h>

#include <string>

#include "service/sila/feature_catalog.h"
#include "service/sila/sila_error.h"
#include "service/sila/sila_metadata.h"
#include "service/sila/sila_names.h"
#include "service/sila/sila_server.h"
#include "sila_client.h"
#include "support/source_tree.h"

namespace gc6890::sila {
namespace {

TEST(SilaError, EveryKindTravelsAsAbortedWithBase64OfTheSerializedError)
{
    const auto type = fw::FrameworkError::INVALID_METADATA;
    struct Case {
        grpc::Status status;
        fw::SiLAError::ErrorCase kind;
        std::string identifier;  // the parameter's or the error's, or the framework error's type
        std::string message;
    } cases[] = {
        {validationError("a/b/C/v1/Command/D/Parameter/E", "too big"),
         fw::SiLAError::kValidationError, "a/b/C/v1/Command/D/Parameter/E", "too big"},
        {definedError("a/b/C/v1/DefinedExecutionError/F", "refused"),
         fw::SiLAError::kDefinedExecutionError, "a/b/C/v1/DefinedExecutionError/F", "refused"},
        {undefinedError("line lost"), fw::SiLAError::kUndefinedExecutionError, "", "line lost"},
        {frameworkError(type, "no token"), fw::SiLAError::kFrameworkError, std::to_string(type),
         "no token"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.status.error_code(), grpc::StatusCode::ABORTED);
        // The standard alphabet, "=" padding, no line break: what every client decodes.
        const std::string& text = c.status.error_message();
        EXPECT_EQ(text.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        EXPECT_EQ(text.size() % 4, 0u);
        EXPECT_TRUE(test::isSilaError(c.status, c.kind, c.identifier));
        EXPECT_EQ(test::messageOf(c.status), c.message);
    }
}

TEST(SilaError, TheBytesAreTheSerializedMessageOfTheStandard)
{
    // SiLAError{frameworkError(4){errorType(1) = 4, message(2) = "x"}}: 22 05 08 04 12 01 78.
    const grpc::Status status = frameworkError(fw::FrameworkError::NO_METADATA_ALLOWED, "x");
    EXPECT_EQ(status.error_message(), base64(std::string("\x22\x05\x08\x04\x12\x01x", 7)));
    EXPECT_EQ(base64("a"), "YQ==");
    EXPECT_EQ(base64("ab"), "YWI=");
    EXPECT_EQ(base64(std::string(100, 'z')).find('\n'), std::string::npos);
}

TEST(SilaError, TextThatIsNotUtf8ReachesTheClientAsUtf8)
{
    const std::optional<fw::SiLAError> error = silaErrorOf(undefinedError("oven at 50\xb0"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->undefinedexecutionerror().message(), "oven at 50\xef\xbf\xbd");
}

TEST(SilaError, StatusesThatAreNoSilaErrorAreToldApart)
{
    EXPECT_FALSE(silaErrorOf(grpc::Status::OK));
    EXPECT_FALSE(silaErrorOf(grpc::Status(grpc::StatusCode::UNAVAILABLE, base64("\x22\x00"))));
    EXPECT_FALSE(silaErrorOf(grpc::Status(grpc::StatusCode::ABORTED, "not base64!")));
    EXPECT_FALSE(silaErrorOf(grpc::Status(grpc::StatusCode::ABORTED, "")));
    for (const std::string text : {"YQ==", "YWI=", "YWJj"})
        EXPECT_EQ(base64(*fromBase64(text)), text);
    EXPECT_FALSE(fromBase64("YQ"));
    EXPECT_FALSE(fromBase64("Y Q="));
}

TEST(SilaError, AnExceptionInAMethodBecomesAnUndefinedError)
{
    EXPECT_TRUE(guarded([] { return grpc::Status::OK; }).ok());
    const grpc::Status thrown =
        guarded([]() -> grpc::Status { throw std::runtime_error("disk full"); });
    ASSERT_TRUE(silaErrorOf(thrown));
    EXPECT_EQ(silaErrorOf(thrown)->undefinedexecutionerror().message(),
              "the server failed: disk full");
    const grpc::Status failure =
        guarded([]() -> grpc::Status { throw SilaFailure{validationError("P", "bad")}; });
    EXPECT_EQ(silaErrorOf(failure)->validationerror().parameter(), "P");
}

ClientMetadata headers(const std::multimap<std::string, std::string>& texts)
{
    ClientMetadata metadata;
    for (const auto& [key, value] : texts)
        metadata.emplace(grpc::string_ref(key), grpc::string_ref(value));
    return metadata;
}

TEST(SilaMetadata, TheKeyIsTheIdentifierInLowerCaseWithDashes)
{
    EXPECT_EQ(metadataKey("org.silastandard/core/AuthorizationService/v1/Metadata/AccessToken"),
              "sila-org.silastandard-core-authorizationservice-v1-metadata-accesstoken-bin");
    EXPECT_EQ(metadataKey("org.silastandard/core/LockController/v1/Metadata/LockIdentifier"),
              "sila-org.silastandard-core-lockcontroller-v1-metadata-lockidentifier-bin");
}

TEST(SilaMetadata, TheAccessTokenIsReadFromItsSerializedMessage)
{
    const std::string key = metadataKey(std::string(kAccessTokenFqi));
    // The headers' text outlives the metadata, which only refers to it.
    const std::multimap<std::string, std::string> sent = {
        {key, std::string("\x0a\x05\x0a\x03", 4) + "abc"}, {"user-agent", "grpc"}};
    const ClientMetadata metadata = headers(sent);
    const std::optional<std::string> bytes = metadataBytes(metadata, std::string(kAccessTokenFqi));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(accessTokenOf(*bytes), "abc");
    EXPECT_FALSE(accessTokenOf(""));  // no AccessToken field
    EXPECT_FALSE(accessTokenOf("\x0a\x09\x0a"
                               "abc"));  // cut short
    EXPECT_FALSE(metadataBytes(headers({{"user-agent", "grpc"}}), std::string(kAccessTokenFqi)));
}

TEST(SilaMetadata, AnySilaBinaryHeaderCountsAsSilaMetadata)
{
    EXPECT_TRUE(carriesSilaMetadata(headers({{"sila-org.example-x-y-v1-metadata-z-bin", ""}})));
    EXPECT_FALSE(carriesSilaMetadata(headers({{"sila-note", "x"}, {"x-sila-bin", "y"}})));
    EXPECT_FALSE(carriesSilaMetadata(headers({})));
}

TEST(SilaAddress, PortAloneOrWithAnAddress)
{
    struct Case {
        std::string text;
        bool ok;
        std::string host;
        int port;
    } cases[] = {
        {"50052", true, "127.0.0.1", 50052},
        {"0", true, "127.0.0.1", 0},
        {"0.0.0.0:50052", true, "0.0.0.0", 50052},
        {"[::1]:0", true, "::1", 0},
        {"localhost:65535", true, "localhost", 65535},
        {"65536", false, "", 0},
        {"-1", false, "", 0},
        {"::1:50052", false, "", 0},
        {":50052", false, "", 0},
        {"host:", false, "", 0},
        {"50052x", false, "", 0},
        {"", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SilaAddress address;
        std::string error;
        ASSERT_EQ(parseSilaAddress(c.text, address, error), c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(address.host, c.host);
            EXPECT_EQ(address.port, c.port);
        } else {
            EXPECT_NE(error.find("--sila " + c.text), std::string::npos) << error;
        }
    }
    EXPECT_EQ(hostPort("::1", 5), "[::1]:5");
    EXPECT_EQ(hostPort("127.0.0.1", 5), "127.0.0.1:5");
    for (const std::string loopback : {"127.0.0.1", "127.1.2.3", "::1", "localhost"})
        EXPECT_TRUE(isLoopback(loopback)) << loopback;
    for (const std::string other : {"0.0.0.0", "::", "192.168.1.2", "10.0.0.1", "lab-gc"})
        EXPECT_FALSE(isLoopback(other)) << other;
}

TEST(FeatureCatalog, EachDefinitionIsFoundByTheIdentifierItDeclares)
{
    const FeatureCatalog catalog(
        gc6890::test::sourcePath("sila").string(),
        {"SiLAService.sila.xml", "AuthorizationService.sila.xml", "MethodProvider.sila.xml"});
    ASSERT_EQ(catalog.features().size(), 3u);
    EXPECT_EQ(catalog.features()[0].identifier, "org.silastandard/core/SiLAService/v1");
    EXPECT_EQ(catalog.features()[1].identifier, "org.silastandard/core/AuthorizationService/v1");
    EXPECT_EQ(catalog.features()[2].identifier,
              "io.gcsixeightninety/chromatography/MethodProvider/v1");
    EXPECT_EQ(catalog.find("ORG.SILASTANDARD/CORE/SILASERVICE/V1"), &catalog.features()[0]);
    EXPECT_EQ(catalog.find(std::string("org.silastandard/core/SiLAService/v1\0x", 39)), nullptr);
    EXPECT_EQ(catalog.find("org.silastandard/core/SiLAService/v2"), nullptr);
    EXPECT_THROW(FeatureCatalog(gc6890::test::sourcePath("sila").string(), {"Nope.sila.xml"}),
                 std::runtime_error);
}

TEST(FeatureCatalog, TheIdentifierComesFromTheRootAndTheFirstIdentifier)
{
    EXPECT_EQ(featureIdentifierOf(R"(<Feature xmlns="x" FeatureVersion="2.3" Originator="org.a" )"
                                  R"(Category="b.c"><Identifier>Some</Identifier>)"
                                  R"(<Command><Identifier>Other</Identifier>)"),
              "org.a/b.c/Some/v2");
    EXPECT_EQ(featureIdentifierOf(R"(<Feature FeatureVersion="1.0" Originator="org.a">)"
                                  R"(<Identifier>Some</Identifier>)"),
              "org.a/none/Some/v1");
    EXPECT_EQ(featureIdentifierOf("<Command><Identifier>Some</Identifier>"), "");
    EXPECT_EQ(featureIdentifierOf(R"(<Feature FeatureVersion="1.0"><Identifier>S</Identifier>)"),
              "");
}

}  // namespace
}  // namespace gc6890::sila
