#include "service/tls_context.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>

#include <cerrno>
#include <stdexcept>

namespace gc6890 {

namespace {

// The reason OpenSSL gives for its last failure, its error queue emptied.
std::string lastFailure()
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    const char* reason = code ? ERR_reason_error_string(code) : nullptr;
    return reason ? reason : "unknown reason";
}

class TlsTransport : public ConnectionTransport {
public:
    explicit TlsTransport(SSL* ssl) : ssl_(ssl) {}
    ~TlsTransport() override { SSL_free(ssl_); }
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    ssize_t receive(char* buffer, std::size_t size) override
    {
        ERR_clear_error();
        return outcome(SSL_read(ssl_, buffer, static_cast<int>(size)));
    }
    ssize_t send(const char* bytes, std::size_t size) override
    {
        ERR_clear_error();
        return outcome(SSL_write(ssl_, bytes, static_cast<int>(size)));
    }
    short wanted() const override { return wanted_; }
    std::size_t buffered() const override { return static_cast<std::size_t>(SSL_pending(ssl_)); }
    bool established() const override { return SSL_is_init_finished(ssl_); }
    void finish() override
    {
        if (established() && !finished_) {
            finished_ = true;
            ERR_clear_error();
            SSL_shutdown(ssl_);  // the close notice; the client's answer is not awaited
            ERR_clear_error();
        }
    }

private:
    // A read or write's result as the socket calls give it.
    ssize_t outcome(int n)
    {
        wanted_ = 0;
        if (n > 0)
            return n;
        switch (SSL_get_error(ssl_, n)) {
        case SSL_ERROR_WANT_READ:
            wanted_ = POLLIN;
            errno = EAGAIN;
            return -1;
        case SSL_ERROR_WANT_WRITE:
            wanted_ = POLLOUT;
            errno = EAGAIN;
            return -1;
        case SSL_ERROR_ZERO_RETURN:
            return 0;  // the client's close notice, or its end without one
        default:
            // A failed handshake (a client speaking plain HTTP, one that does not trust the
            // certificate), a broken record: the connection ends.
            ERR_clear_error();
            errno = ECONNRESET;
            return -1;
        }
    }

    SSL* ssl_;
    short wanted_ = 0;
    bool finished_ = false;
};

}  // namespace

TlsContext::TlsContext(const std::string& certificateFile, const std::string& keyFile)
    : context_(SSL_CTX_new(TLS_server_method()))
{
    if (!context_)
        throw std::runtime_error("cannot set up TLS: " + lastFailure());
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    // A client gone without its close notice is an ordinary end; no renegotiation.
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    // Writes may go out in parts, as a socket's do.
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A key that needs a passphrase is refused, never asked for on a terminal.
    SSL_CTX_set_default_passwd_cb(context_, [](char*, int, int, void*) { return 0; });
    const auto refuse = [this](const std::string& what) {
        const std::string reason = lastFailure();
        SSL_CTX_free(context_);
        throw std::runtime_error(what + " (" + reason + ")");
    };
    if (SSL_CTX_use_certificate_chain_file(context_, certificateFile.c_str()) != 1)
        refuse("cannot use the certificate " + certificateFile);
    // OpenSSL checks the key against the certificate as it takes it.
    const std::string mismatch = keyFile + " is not the key of the certificate " + certificateFile;
    if (SSL_CTX_use_PrivateKey_file(context_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        refuse(ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH
                   ? mismatch
                   : "cannot use the key " + keyFile + ", which must be PEM without a passphrase");
    if (SSL_CTX_check_private_key(context_) != 1)
        refuse(mismatch);
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(context_);
}

std::unique_ptr<ConnectionTransport> TlsContext::accept(int fd) const
{
    // OpenSSL reads and writes the socket itself: it must never block.
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make the connection non-blocking");
    SSL* ssl = SSL_new(context_);
    if (!ssl || SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        throw std::runtime_error("cannot start TLS on a connection: " + lastFailure());
    }
    SSL_set_accept_state(ssl);
    return std::make_unique<TlsTransport>(ssl);
}

}  // namespace gc6890
