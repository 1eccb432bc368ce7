// TLS for the SiLA 2 server. A SiLA server always speaks TLS; with no certificate of the
// lab's own, the service is its own small certificate authority: at the first start it
// makes a CA (ca.pem is what clients trust) and a server certificate signed by it, kept in
// $GC6890_HOME/sila/ (keys mode 0600). The server certificate has the common name SiLA2,
// the server UUID in the SiLA extension, and names every host a client may dial.
#pragma once

#include <string>
#include <vector>

namespace gc6890::sila {

// The private CA extension that carries the server UUID (36 ASCII bytes).
inline constexpr const char* kServerUuidOid = "1.3.6.1.4.1.58583";

struct TlsIdentity {
    std::string certificateChain;  // PEM: the server certificate, then its CA's
    std::string privateKey;        // PEM
};

// The names the server certificate carries for a server listening on `host` (an address
// or a name; "0.0.0.0" or "::" for every address): IP 127.0.0.1 and ::1, DNS localhost and
// SiLA2, the host itself, and the machine's name when it listens everywhere.
std::vector<std::string> subjectAltNames(const std::string& host);

// The certificate authority and server certificate in `folder` (ca.pem, ca-key.pem,
// server.pem, server-key.pem), made when missing. A server certificate that does not name
// `host`, carries another UUID, was not signed by this CA or ends within 30 days is made
// anew from the same CA. Throws std::runtime_error naming the file at fault.
TlsIdentity ownTlsIdentity(const std::string& folder, const std::string& host,
                           const std::string& serverUuid);

// A lab's own certificate (with its chain) and key, read from the files and checked to
// belong together. Throws std::runtime_error naming the file at fault.
TlsIdentity labTlsIdentity(const std::string& certificateFile, const std::string& keyFile);

}  // namespace gc6890::sila
