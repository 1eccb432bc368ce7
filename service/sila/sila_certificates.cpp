#include "service/sila/sila_certificates.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <ctime>
#include <memory>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "service/sila/sila_home.h"

namespace gc6890::sila {

namespace {

template <class T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;

constexpr long kDay = 24 * 3600;
constexpr long kCaDays = 20 * 365;     // the CA outlives any server certificate it signs
constexpr long kServerDays = 2 * 365;  // renewed at a start within 30 days of its end
constexpr long kRenewDays = 30;

std::string sslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "OpenSSL failed";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

void require(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + sslError());
}

Key makeKey()
{
    // P-256: as strong as RSA 3072 for a fraction of the time to make and to handshake.
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "cannot make a key");
    return key;
}

bool isIpAddress(const std::string& host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

bool isDnsName(const std::string& host)
{
    if (host.empty() || host.size() > 253)
        return false;
    for (const char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
            return false;
    return true;
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    require(extension != nullptr, "cannot make the certificate extension " + value);
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    require(added, "cannot add the certificate extension " + value);
}

void addUuidExtension(X509* certificate, const std::string& uuid)
{
    ASN1_OBJECT* oid = OBJ_txt2obj(kServerUuidOid, 1);
    ASN1_OCTET_STRING* data = ASN1_OCTET_STRING_new();
    const bool ok = oid && data &&
                    ASN1_OCTET_STRING_set(data, reinterpret_cast<const unsigned char*>(uuid.data()),
                                          static_cast<int>(uuid.size())) == 1;
    X509_EXTENSION* extension = ok ? X509_EXTENSION_create_by_OBJ(nullptr, oid, 0, data) : nullptr;
    const bool added = extension && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    ASN1_OCTET_STRING_free(data);
    ASN1_OBJECT_free(oid);
    require(added, "cannot add the server UUID to the certificate");
}

std::string uuidExtension(X509* certificate)
{
    ASN1_OBJECT* oid = OBJ_txt2obj(kServerUuidOid, 1);
    const int index = oid ? X509_get_ext_by_OBJ(certificate, oid, -1) : -1;
    ASN1_OBJECT_free(oid);
    if (index < 0)
        return {};
    const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(X509_get_ext(certificate, index));
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(data)),
                       static_cast<std::size_t>(ASN1_STRING_length(data)));
}

// A certificate for `key` with the common name `commonName`, issued by `issuer` (itself
// when null), valid from an hour ago for `days`; signed by the caller once complete.
Certificate makeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, long days)
{
    Certificate certificate(X509_new());
    require(certificate != nullptr, "cannot make a certificate");
    X509* c = certificate.get();
    std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>> serial(BN_new());
    require(serial && BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
                BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(c)) != nullptr &&
                X509_set_version(c, 2) == 1 &&
                X509_gmtime_adj(X509_getm_notBefore(c), -3600) != nullptr &&
                X509_gmtime_adj(X509_getm_notAfter(c), days * kDay) != nullptr &&
                X509_set_pubkey(c, key) == 1 &&
                X509_NAME_add_entry_by_txt(
                    X509_get_subject_name(c), "CN", MBSTRING_UTF8,
                    reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0) == 1 &&
                X509_set_issuer_name(c, X509_get_subject_name(issuer ? issuer : c)) == 1,
            "cannot fill in a certificate");
    addExtension(c, issuer ? issuer : c, NID_subject_key_identifier, "hash");
    if (issuer) {
        addExtension(c, issuer, NID_authority_key_identifier, "keyid:always");
    }
    return certificate;
}

void sign(X509* certificate, EVP_PKEY* key)
{
    require(X509_sign(certificate, key, EVP_sha256()) > 0, "cannot sign a certificate");
}

std::string pemOf(X509* certificate)
{
    Bio bio(BIO_new(BIO_s_mem()));
    require(bio && PEM_write_bio_X509(bio.get(), certificate) == 1, "cannot write a certificate");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string pemOf(EVP_PKEY* key)
{
    Bio bio(BIO_new(BIO_s_mem()));
    require(
        bio && PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "cannot write a key");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

Certificate certificateOf(const std::string& pem)
{
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    Certificate certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)
                                : nullptr);
    ERR_clear_error();
    return certificate;
}

Key keyOf(const std::string& pem)
{
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return key;
}

bool names(X509* certificate, const std::string& name)
{
    if (name.rfind("IP:", 0) == 0)
        return X509_check_ip_asc(certificate, name.c_str() + 3, 0) == 1;
    return X509_check_host(certificate, name.c_str() + 4, name.size() - 4, 0, nullptr) == 1;
}

// Whether a kept server certificate still serves: signed by the CA, not near its end,
// naming every host in `altNames`, carrying `uuid`.
bool stillServes(X509* certificate, EVP_PKEY* caKey, const std::vector<std::string>& altNames,
                 const std::string& uuid)
{
    time_t renewAt = time(nullptr) + kRenewDays * kDay;
    const bool fresh = X509_verify(certificate, caKey) == 1 &&
                       X509_cmp_time(X509_get0_notAfter(certificate), &renewAt) > 0 &&
                       uuidExtension(certificate) == uuid;
    ERR_clear_error();
    if (!fresh)
        return false;
    for (const std::string& name : altNames)
        if (!names(certificate, name))
            return false;
    return true;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

}  // namespace

std::vector<std::string> subjectAltNames(const std::string& host)
{
    std::vector<std::string> names = {"IP:127.0.0.1", "IP:::1", "DNS:localhost", "DNS:SiLA2"};
    auto add = [&names](const std::string& name) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    if (host == "0.0.0.0" || host == "::") {
        // Every address: clients dial the machine by its name.
        char machine[256] = {};
        if (gethostname(machine, sizeof machine - 1) == 0 && isDnsName(machine))
            add(std::string("DNS:") + machine);
    } else if (isIpAddress(host)) {
        add("IP:" + host);
    } else if (isDnsName(host)) {
        add("DNS:" + host);
    }
    return names;
}

TlsIdentity ownTlsIdentity(const std::string& folder, const std::string& host,
                           const std::string& serverUuid)
{
    makeDirectories(folder);
    const std::string caPath = folder + "/ca.pem", caKeyPath = folder + "/ca-key.pem";
    const std::string serverPath = folder + "/server.pem";
    const std::string serverKeyPath = folder + "/server-key.pem";

    std::string caPem, caKeyPem;
    Certificate ca;
    Key caKey;
    if (readWhole(caPath, caPem) && readWhole(caKeyPath, caKeyPem)) {
        ca = certificateOf(caPem);
        caKey = keyOf(caKeyPem);
        if (!ca || !caKey || X509_check_private_key(ca.get(), caKey.get()) != 1)
            throw std::runtime_error(caPath + " and " + caKeyPath +
                                     " are not a certificate and its key; remove both to make a " +
                                     "new authority (clients must then trust the new ca.pem)");
    } else {
        caKey = makeKey();
        ca = makeCertificate(caKey.get(), "gc6890 SiLA2 CA", nullptr, kCaDays);
        addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
        addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
        sign(ca.get(), caKey.get());
        caPem = pemOf(ca.get());
        // The key first: a ca.pem is never there without the key that signs for it.
        writeWhole(caKeyPath, pemOf(caKey.get()), 0600);
        writeWhole(caPath, caPem, 0644);
    }

    const std::vector<std::string> altNames = subjectAltNames(host);
    std::string serverPem, serverKeyPem;
    if (readWhole(serverPath, serverPem) && readWhole(serverKeyPath, serverKeyPem)) {
        Certificate server = certificateOf(serverPem);
        Key serverKey = keyOf(serverKeyPem);
        if (server && serverKey && X509_check_private_key(server.get(), serverKey.get()) == 1 &&
            stillServes(server.get(), caKey.get(), altNames, serverUuid)) {
            ERR_clear_error();
            return {serverPem + caPem, serverKeyPem};
        }
        ERR_clear_error();
    }
    Key serverKey = makeKey();
    Certificate server = makeCertificate(serverKey.get(), "SiLA2", ca.get(), kServerDays);
    addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    addExtension(server.get(), ca.get(), NID_subject_alt_name, joined(altNames));
    addUuidExtension(server.get(), serverUuid);
    sign(server.get(), caKey.get());
    serverPem = pemOf(server.get());
    serverKeyPem = pemOf(serverKey.get());
    writeWhole(serverKeyPath, serverKeyPem, 0600);
    writeWhole(serverPath, serverPem, 0644);
    return {serverPem + caPem, serverKeyPem};
}

TlsIdentity labTlsIdentity(const std::string& certificateFile, const std::string& keyFile)
{
    TlsIdentity identity;
    if (!readWhole(certificateFile, identity.certificateChain))
        throw std::runtime_error("cannot read the certificate " + certificateFile);
    if (!readWhole(keyFile, identity.privateKey))
        throw std::runtime_error("cannot read the key " + keyFile);
    const Certificate certificate = certificateOf(identity.certificateChain);
    if (!certificate)
        throw std::runtime_error(certificateFile + " holds no PEM certificate");
    const Key key = keyOf(identity.privateKey);
    if (!key)
        throw std::runtime_error(keyFile + " holds no PEM private key (or it needs a passphrase)");
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        ERR_clear_error();
        throw std::runtime_error(keyFile + " is not the key of the certificate " + certificateFile);
    }
    return identity;
}

}  // namespace gc6890::sila
