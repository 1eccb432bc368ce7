#include "service/sila/sila_server.h"

#include <grpcpp/grpcpp.h>
#include <grpcpp/security/server_credentials.h>

#include <charconv>
#include <stdexcept>

#include "platform/installation.h"
#include "service/sila/access_check.h"
#include "service/sila/authorization_feature.h"
#include "service/sila/cancel_controller_feature.h"
#include "service/sila/command_executions.h"
#include "service/sila/discovery_announcer.h"
#include "service/sila/discovery_record.h"
#include "service/sila/feature_catalog.h"
#include "service/sila/gc_controller_feature.h"
#include "service/sila/grpc_listener.h"
#include "service/sila/lock_controller_feature.h"
#include "service/sila/method_provider_feature.h"
#include "service/sila/pause_controller_feature.h"
#include "service/sila/sequence_executions.h"
#include "service/sila/sequence_runner_feature.h"
#include "service/sila/sila_certificates.h"
#include "service/sila/sila_home.h"
#include "service/sila/sila_names.h"
#include "service/sila/silaservice_feature.h"

namespace gc6890::sila {

namespace {

// Where the server's maker tells about it (ServerVendorURL): the originator's domain.
constexpr const char* kVendorUrl = "https://gcsixeightninety.io";

// The features served, in the order a client lists them, and the guard on each: in one
// table, so that who may change what reads at a glance.
struct ServedFeature {
    const char* definitionFile;
    std::string identifier;
    // The commands that need the token (reads need it only beyond loopback).
    std::vector<const char*> tokenCommands;
    // The commands the instrument's lock holds (the LockIdentifier metadata).
    std::vector<const char*> lockedCommands;
    // Whether the token covers the whole feature while reads are not open.
    bool readsGuarded = true;
};

const std::vector<ServedFeature>& servedFeatures()
{
    static const std::vector<ServedFeature> features = {
        {"SiLAService.sila.xml", std::string(kSilaServiceFqi), {}, {}, false},
        {"AuthorizationService.sila.xml", std::string(kAuthorizationFqi), {}, {}, false},
        {"LockController.sila.xml",
         std::string(kLockControllerFqi),
         {"LockServer", "UnlockServer"},
         {}},
        // A cancel needs the token, not the lock: it stops, as StopRun does.
        {"CancelController.sila.xml",
         std::string(kCancelControllerFqi),
         {"CancelCommand", "CancelAll"},
         {}},
        {"MethodProvider.sila.xml", kMethodProviderFeature, {"UploadMethod"}, {"UploadMethod"}},
        // A stop is taken whoever holds the lock.
        {"GasChromatographController.sila.xml",
         kGcControllerFeature,
         {"LoadMethod", "Inject", "StopRun", "ResetSampler", "SwitchHeatedZones"},
         {"LoadMethod", "Inject", "ResetSampler", "SwitchHeatedZones"}},
        {"SequenceRunner.sila.xml",
         kSequenceRunnerFeature,
         {"RunSequence", "SkipPausedRow"},
         {"RunSequence", "SkipPausedRow"}},
        // A pause is taken whoever holds the lock, as over HTTP; a resume injects again.
        {"PauseController.sila.xml",
         std::string(kPauseControllerFqi),
         {"Pause", "Resume"},
         {"Resume"}},
    };
    return features;
}

// The fully qualified identifiers of the commands `pick` lists, feature by feature.
std::vector<std::string> calls(std::vector<const char*> ServedFeature::*pick)
{
    std::vector<std::string> identifiers;
    for (const ServedFeature& feature : servedFeatures())
        for (const char* command : feature.*pick)
            identifiers.push_back(commandOf(feature.identifier, command));
    return identifiers;
}

}  // namespace

bool parseSilaAddress(const std::string& text, SilaAddress& address, std::string& error)
{
    std::string host = "127.0.0.1", port = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        else if (host.find(':') != std::string::npos)
            host.clear();  // an IPv6 address needs its brackets
    }
    int number = -1;
    const auto [end, failure] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (host.empty() || port.empty() || failure != std::errc() ||
        end != port.data() + port.size() || number < 0 || number > 65535) {
        error =
            "--sila " + text + ": expected [ADDRESS:]PORT, a port from 0 to 65535 (0: a free one)";
        return false;
    }
    address = {host, number};
    return true;
}

std::string hostPort(const std::string& host, int port)
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

namespace {

// The options that go together, and plain text only where nobody else can listen (it
// carries the token in the clear).
bool optionsFit(const SilaOptions& options, const SilaAddress& address, std::string& error)
{
    if (options.certificateFile.empty() != options.keyFile.empty()) {
        error = "--sila-cert and --sila-key go together: the certificate and its key";
        return false;
    }
    if (options.insecure && !options.certificateFile.empty()) {
        error = "--sila-insecure serves plain text: it takes no --sila-cert or --sila-key";
        return false;
    }
    if (options.insecure && !isLoopback(address.host)) {
        error = "--sila-insecure is refused beyond loopback: " + address.host +
                " is reachable from other machines; serve TLS there";
        return false;
    }
    return true;
}

// Plain text, our own TLS identity or the lab's. With our own, `caPem` gets its CA: a
// client cannot trust it before it has it, so the announcement carries it (a lab's CA is
// the lab's clients' already). Throws when a file cannot be read.
std::shared_ptr<grpc::ServerCredentials> serverCredentials(const SilaOptions& options,
                                                           const SilaAddress& address,
                                                           const std::string& uuid,
                                                           std::string& caPem)
{
    if (options.insecure)
        return grpc::InsecureServerCredentials();
    const TlsIdentity tls = options.certificateFile.empty()
                                ? ownTlsIdentity(silaFolder(), address.host, uuid)
                                : labTlsIdentity(options.certificateFile, options.keyFile);
    if (options.certificateFile.empty() && !readWhole(silaFolder() + "/ca.pem", caPem))
        throw std::runtime_error("cannot read " + silaFolder() + "/ca.pem");
    return tlsCredentials(tls);
}

}  // namespace

struct SilaServer::Parts {
    Parts(ServiceState& state, InstrumentThread& instrument, bool readsOpen,
          const std::string& firstName)
        : name(firstName), access(state, readsOpen), sequences(state, instrument, executions)
    {}
    ServerName name;
    AccessCheck access;
    CommandExecutions executions;
    SequenceExecutions sequences;
    std::unique_ptr<FeatureCatalog> catalog;
    std::unique_ptr<SilaServiceFeature> silaService;
    std::unique_ptr<AuthorizationFeature> authorization;
    std::unique_ptr<LockControllerFeature> lockController;
    std::unique_ptr<CancelControllerFeature> cancelController;
    std::unique_ptr<MethodProviderFeature> methodProvider;
    std::unique_ptr<GcControllerFeature> gcController;
    std::unique_ptr<SequenceRunnerFeature> sequenceRunner;
    std::unique_ptr<PauseControllerFeature> pauseController;
    std::unique_ptr<grpc::Server> server;
    std::string listening;
    std::unique_ptr<DiscoveryAnnouncer> announcer;  // after `name`, whose listener uses it

    // AuthorizationService and LockController, made once the features they guard exist:
    // the calls that need the token, and those a lock holds.
    void makeGuards(ServiceState& state);
};

void SilaServer::Parts::makeGuards(ServiceState& state)
{
    std::vector<std::string> affected;
    if (access.readsOpen())
        affected = calls(&ServedFeature::tokenCommands);
    else
        for (const ServedFeature& feature : servedFeatures())
            if (feature.readsGuarded)
                affected.push_back(feature.identifier);  // a feature covers all of it
    authorization = std::make_unique<AuthorizationFeature>(std::move(affected));
    lockController = std::make_unique<LockControllerFeature>(state, access,
                                                             calls(&ServedFeature::lockedCommands));
}

SilaServer::SilaServer(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
                       SilaOptions options)
    : state_(state), instrument_(instrument), methods_(std::move(methods)),
      options_(std::move(options))
{}

SilaServer::~SilaServer()
{
    stop();
}

bool SilaServer::start(std::string& error, int& exitCode)
{
    exitCode = 2;
    SilaAddress address;
    if (!parseSilaAddress(options_.address, address, error))
        return false;
    if (!optionsFit(options_, address, error))
        return false;
    exitCode = 1;
    try {
        const std::string uuid = loadOrMakeServerUuid();
        // As over HTTP: reads are open on loopback, beyond it only with --open-reads.
        const bool readsOpen = isLoopback(address.host) || state_.options.openReads;
        parts_ = std::make_unique<Parts>(state_, instrument_, readsOpen, state_.options.name);
        Parts& p = *parts_;
        std::vector<std::string> definitions;
        for (const ServedFeature& feature : servedFeatures())
            definitions.push_back(feature.definitionFile);
        p.catalog = std::make_unique<FeatureCatalog>(featureDefinitionFolder(), definitions);
        ServerIdentity identity;
        identity.uuid = uuid;
        identity.description = "Gas chromatograph and its sampler on " + state_.options.device +
                               ", served by gc6890 serve";
        identity.version = libraryVersion();
        identity.vendorUrl = kVendorUrl;
        p.silaService =
            std::make_unique<SilaServiceFeature>(*p.catalog, p.name, identity, state_.audit);
        p.methodProvider = std::make_unique<MethodProviderFeature>(state_, methods_, p.access);
        p.gcController =
            std::make_unique<GcControllerFeature>(state_, methods_, p.access, p.executions);
        p.sequenceRunner = std::make_unique<SequenceRunnerFeature>(
            state_, instrument_, methods_, p.access, p.executions, p.sequences);
        p.pauseController = std::make_unique<PauseControllerFeature>(state_, p.access, p.sequences);
        p.makeGuards(state_);
        p.cancelController = std::make_unique<CancelControllerFeature>(p.access, p.executions);

        DiscoveryFacts discovery{{}, identity.description, {}};
        const std::shared_ptr<grpc::ServerCredentials> credentials =
            serverCredentials(options_, address, uuid, discovery.caPem);
        p.sequences.start();
        int port = 0;
        p.server =
            listenWith(hostPort(address.host, address.port), credentials,
                       {p.silaService.get(), p.authorization.get(), p.lockController.get(),
                        p.cancelController.get(), p.methodProvider.get(), p.gcController.get(),
                        p.sequenceRunner.get(), p.pauseController.get()},
                       port);
        if (!p.server || port == 0) {
            error = "--sila " + options_.address + ": cannot listen on " +
                    hostPort(address.host, address.port) +
                    " (taken, or not an address of this machine)";
            parts_.reset();
            return false;
        }
        p.listening = hostPort(address.host, port);
        // Announced once it listens, and again with each new name.
        DiscoveryService service{uuid, port, isLoopback(address.host), {}};
        p.name.onChange([&p, discovery, service](const std::string& name) mutable {
            discovery.serverName = name;
            service.txt = discoveryTxt(discovery);
            if (p.announcer)
                p.announcer->updateTxt(service.txt);
            else
                p.announcer = std::make_unique<DiscoveryAnnouncer>(service);
        });
    } catch (const std::exception& failure) {
        error = failure.what();
        parts_.reset();
        return false;
    }
    return true;
}

std::string SilaServer::listening() const
{
    return parts_ ? parts_->listening : std::string();
}

void SilaServer::stop()
{
    if (!parts_ || !parts_->server)
        return;
    // Executions following a job end first (with an error saying so), then every stream.
    parts_->gcController->stop();
    parts_->sequenceRunner->stop();
    parts_->sequences.stop();
    parts_->executions.close();
    // Calls still open after the deadline (subscriptions) are cancelled.
    parts_->server->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(2));
    parts_->server->Wait();
    parts_->server.reset();
    parts_->announcer.reset();     // no SetServerName can come now
    parts_->gcController->stop();  // any started while the server was stopping
}

}  // namespace gc6890::sila
