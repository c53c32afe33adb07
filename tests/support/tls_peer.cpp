#include "support/tls_peer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "support/temp_dir.h"

namespace vexlo::test {

const TestCertificate& SelfSignedLocalhost() {
    static const CTempDir dir;
    // The openssl program (which the INN fixture needs too) makes the pair.
    static const TestCertificate certificate = [] {
        TestCertificate made{dir / "localhost.pem", dir / "localhost.key"};
        const std::string command =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 "
            "-subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
            made.keyPath + "' -out '" + made.pemPath + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot run openssl");
        return made;
    }();
    return certificate;
}

struct CTlsPeerSession::Impl {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL* ssl = SSL_new(context);
    ~Impl() {
        SSL_shutdown(ssl);
        SSL_free(ssl);
        SSL_CTX_free(context);
    }
};

CTlsPeerSession::CTlsPeerSession(CPeerSession& session, const TestCertificate& certificate) {
    // A client that goes away must not end the test program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    timeval wait{5, 0};
    setsockopt(session.Fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    impl_ = std::make_unique<Impl>();
    SSL_use_certificate_file(impl_->ssl, certificate.pemPath.c_str(), SSL_FILETYPE_PEM);
    SSL_use_PrivateKey_file(impl_->ssl, certificate.keyPath.c_str(), SSL_FILETYPE_PEM);
    SSL_set_fd(impl_->ssl, session.Fd());
    ok_ = SSL_accept(impl_->ssl) == 1;
    ERR_clear_error();
}

CTlsPeerSession::~CTlsPeerSession() = default;

void CTlsPeerSession::Write(std::string_view bytes, size_t record) {
    if (!ok_) return;
    const auto write = [this](std::string_view piece) {
        size_t written = 0;
        SSL_write_ex(impl_->ssl, piece.data(), piece.size(), &written);
    };
    if (record == 0) return write(bytes);
    WriteInPieces(SSL_get_fd(impl_->ssl), bytes, record, write);
}

std::string CTlsPeerSession::ReadLine() {
    return TakeLine(pending_, [this](char* chunk, size_t n) -> long {
        size_t got = 0;
        if (ok_ && SSL_read_ex(impl_->ssl, chunk, n, &got) == 1) return static_cast<long>(got);
        ERR_clear_error();
        return -1;
    });
}

}  // namespace vexlo::test
