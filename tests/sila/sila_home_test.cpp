// What the SiLA 2 server keeps in the home, in process: its UUID and name across starts,
// and the certificates it makes for itself (read back with OpenSSL, as a client would).
#include <gmock/gmock.h>

#include <memory>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include "service/sila/sila_certificates.h"
#include "service/sila/sila_home.h"
#include "support/temp_home.h"

namespace gc6890::sila {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, X509Free>;

// The first certificate of a PEM text.
Certificate certificateOf(const std::string& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    Certificate certificate(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
    BIO_free(bio);
    return certificate;
}

std::string commonName(X509* certificate)
{
    char name[256] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, name,
                              sizeof name);
    return name;
}

std::string uuidExtension(X509* certificate)
{
    ASN1_OBJECT* oid = OBJ_txt2obj(kServerUuidOid, 1);
    const int index = X509_get_ext_by_OBJ(certificate, oid, -1);
    ASN1_OBJECT_free(oid);
    if (index < 0)
        return "";
    X509_EXTENSION* extension = X509_get_ext(certificate, index);
    EXPECT_FALSE(X509_EXTENSION_get_critical(extension));
    const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(extension);
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(data)),
                       static_cast<std::size_t>(ASN1_STRING_length(data)));
}

bool signedBy(X509* certificate, X509* ca)
{
    return X509_verify(certificate, X509_get0_pubkey(ca)) == 1;
}

int modeOf(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 0777) : -1;
}

class SilaHome : public ::testing::Test {
protected:
    std::string file(const std::string& name) const { return home.path() + "/sila/" + name; }
    gc6890::test::TempHome home;
};

TEST_F(SilaHome, TheUuidIsMadeOnceAndKept)
{
    const std::string uuid = loadOrMakeServerUuid();
    EXPECT_TRUE(isUuid(uuid)) << uuid;
    EXPECT_EQ(uuid[14], '4');  // a random UUID, version 4
    EXPECT_EQ(loadOrMakeServerUuid(), uuid);
    EXPECT_EQ(home.read("sila/server-uuid"), uuid + "\n");

    home.write("sila/server-uuid", "not-a-uuid\n");
    EXPECT_THAT([] { loadOrMakeServerUuid(); },
                ThrowsMessage<std::runtime_error>(HasSubstr(file("server-uuid"))));
}

TEST_F(SilaHome, TheFirstNameIsStoredAndTheStoredNameWinsAfterwards)
{
    ServerName first("GC 1");
    EXPECT_EQ(first.get(), "GC 1");
    EXPECT_EQ(ServerName("GC renamed by --name").get(), "GC 1");
    first.set("Bench GC");
    EXPECT_EQ(first.get(), "Bench GC");
    EXPECT_EQ(ServerName("GC 1").get(), "Bench GC");
    EXPECT_EQ(tidyServerName(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(tidyServerName(std::string(300, 'x') + "\xb0"), std::string(255, 'x'));
    // 255 characters of two bytes each are kept whole.
    std::string umlauts;
    for (int i = 0; i < 256; ++i)
        umlauts += "\xc3\xa4";
    EXPECT_EQ(tidyServerName(umlauts).size(), 510u);
}

// The host joins the fixed names when it is an address or a DNS name (at most 253
// characters); anything else is left out rather than making a certificate clients refuse.
TEST(SubjectAltNames, NameTheHostWhenItIsAnAddressOrADnsName)
{
    using Names = std::vector<std::string>;
    const auto added = [](const std::string& host) {
        const Names names = subjectAltNames(host);
        return Names(names.begin() + 4, names.end());  // after IP 127.0.0.1 and ::1, DNS
    };                                                 // localhost and SiLA2
    const std::string longest = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                std::string(63, 'c') + "." + std::string(61, 'd');
    ASSERT_EQ(longest.size(), 253u);
    EXPECT_EQ(added("192.168.1.20"), Names{"IP:192.168.1.20"});
    EXPECT_EQ(added("127.0.0.1"), Names{});  // named already
    EXPECT_EQ(added("gc-1.lab.example"), Names{"DNS:gc-1.lab.example"});
    EXPECT_EQ(added(longest), Names{"DNS:" + longest});
    EXPECT_EQ(added(longest + "e"), Names{});
    EXPECT_EQ(added("gc 1"), Names{});
}

TEST_F(SilaHome, TheCertificatesNameTheServerAndAreSignedByTheCaClientsTrust)
{
    const std::string uuid = loadOrMakeServerUuid();
    const TlsIdentity identity = ownTlsIdentity(home.path() + "/sila", "127.0.0.1", uuid);
    const Certificate server = certificateOf(identity.certificateChain);
    const Certificate ca = certificateOf(home.read("sila/ca.pem"));
    ASSERT_TRUE(server && ca);
    EXPECT_EQ(commonName(server.get()), "SiLA2");
    EXPECT_EQ(uuidExtension(server.get()), uuid);
    EXPECT_TRUE(signedBy(server.get(), ca.get()));
    EXPECT_EQ(X509_check_ca(ca.get()), 1);
    EXPECT_EQ(X509_check_ca(server.get()), 0);
    for (const char* ip : {"127.0.0.1", "::1"})
        EXPECT_EQ(X509_check_ip_asc(server.get(), ip, 0), 1) << ip;
    for (const std::string host : {"localhost", "SiLA2"})
        EXPECT_EQ(X509_check_host(server.get(), host.data(), host.size(), 0, nullptr), 1) << host;
    EXPECT_EQ(X509_check_ip_asc(server.get(), "127.0.0.2", 0), 0);
    // The chain handed to gRPC: the server's certificate, then the CA's.
    EXPECT_NE(identity.certificateChain.find(home.read("sila/ca.pem")), std::string::npos);
    EXPECT_EQ(modeOf(file("ca-key.pem")), 0600);
    EXPECT_EQ(modeOf(file("server-key.pem")), 0600);
    EXPECT_EQ(identity.privateKey, home.read("sila/server-key.pem"));
}

TEST_F(SilaHome, AKeptCertificateServesAgainAndAnotherAddressGetsANewOneFromTheSameCa)
{
    const std::string uuid = loadOrMakeServerUuid();
    const std::string folder = home.path() + "/sila";
    const TlsIdentity first = ownTlsIdentity(folder, "127.0.0.1", uuid);
    const std::string caPem = home.read("sila/ca.pem");
    EXPECT_EQ(ownTlsIdentity(folder, "localhost", uuid).certificateChain, first.certificateChain);

    const TlsIdentity other = ownTlsIdentity(folder, "127.0.0.2", uuid);
    EXPECT_NE(other.certificateChain, first.certificateChain);
    EXPECT_NE(other.privateKey, first.privateKey);
    EXPECT_EQ(home.read("sila/ca.pem"), caPem);
    const Certificate server = certificateOf(other.certificateChain);
    EXPECT_EQ(X509_check_ip_asc(server.get(), "127.0.0.2", 0), 1);
    EXPECT_TRUE(signedBy(server.get(), certificateOf(caPem).get()));

    // Another UUID (a copied home made anew) gets a certificate that carries it.
    const std::string otherUuid = randomUuid();
    EXPECT_EQ(
        uuidExtension(
            certificateOf(ownTlsIdentity(folder, "127.0.0.2", otherUuid).certificateChain).get()),
        otherUuid);
}

TEST_F(SilaHome, ACaWithoutItsKeyIsRefusedNamingBothFiles)
{
    const std::string uuid = loadOrMakeServerUuid();
    ownTlsIdentity(home.path() + "/sila", "127.0.0.1", uuid);
    home.write("sila/ca-key.pem", home.read("sila/server-key.pem"));
    EXPECT_THAT([&] { ownTlsIdentity(home.path() + "/sila", "127.0.0.1", uuid); },
                ThrowsMessage<std::runtime_error>(HasSubstr(file("ca-key.pem"))));
}

TEST_F(SilaHome, ALabsOwnCertificateMustComeWithItsKey)
{
    const std::string uuid = loadOrMakeServerUuid();
    ownTlsIdentity(home.path() + "/sila", "127.0.0.1", uuid);
    const TlsIdentity lab = labTlsIdentity(file("server.pem"), file("server-key.pem"));
    EXPECT_EQ(lab.privateKey, home.read("sila/server-key.pem"));
    struct Case {
        std::string certificate, key, says;
    } cases[] = {
        {file("server.pem"), file("ca-key.pem"), "is not the key of"},
        {file("nope.pem"), file("server-key.pem"), file("nope.pem")},
        {file("server-key.pem"), file("server-key.pem"), "holds no PEM certificate"},
        {file("server.pem"), file("server.pem"), "holds no PEM private key"},
    };
    for (const Case& c : cases)
        EXPECT_THAT([&] { labTlsIdentity(c.certificate, c.key); },
                    ThrowsMessage<std::runtime_error>(HasSubstr(c.says)))
            << c.certificate << " with " << c.key;
}

}  // namespace
}  // namespace gc6890::sila
