#include "http_door_flags.h"

#include "cli_error.h"

namespace gc6890::cli {

HttpFrontOptions HttpDoorFlags::frontOptions() const
{
    return HttpFrontOptions{.listen = listen, .allowHosts = allowHosts, .openReads = openReads};
}

void HttpDoorFlags::checkTls() const
{
    if (tlsCertificate.empty() != tlsKey.empty())
        throw CommandFailure(kExitBadInput, "--tls-cert and --tls-key go together");
}

void addHttpDoorFlags(CLI::App* command, HttpDoorFlags& flags, const std::string& defaultListen)
{
    flags.listen = defaultListen;
    command->add_option("--listen", flags.listen,
                        "ADDRESS:PORT to listen on (default " + defaultListen +
                            "; port 0: a free one)");
    command
        ->add_option("--allow-host", flags.allowHosts,
                     "Also answer requests that name this host (a reverse proxy's name); "
                     "repeatable")
        ->allow_extra_args(false);
    command->add_flag("--open-reads", flags.openReads,
                      "Beyond loopback, let reads through without a token; changes always "
                      "need one");
    command->add_option("--tls-cert", flags.tlsCertificate,
                        "Serve HTTPS with this certificate (PEM, with its chain); "
                        "docs/security.md");
    command->add_option("--tls-key", flags.tlsKey, "The key of --tls-cert (PEM)");
}

}  // namespace gc6890::cli
