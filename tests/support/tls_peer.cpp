#include "support/tls_peer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <csignal>
#include <stdexcept>

#include "support/temp_dir.h"

namespace vexlo::test {

namespace {

void WritePem(const std::string& path, const std::function<int(BIO*)>& write) {
    BIO* file = BIO_new_file(path.c_str(), "w");
    if (file == nullptr || write(file) != 1) throw std::runtime_error("cannot write " + path);
    BIO_free(file);
}

TestCertificate MakeSelfSigned(const CTempDir& dir) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* x509 = X509_new();
    if (key == nullptr || x509 == nullptr) throw std::runtime_error("cannot make a test key");
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 30L * 24 * 3600);
    X509_set_pubkey(x509, key);
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x509, x509, nullptr, nullptr, 0);
    X509_EXTENSION* names =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    X509_add_ext(x509, names, -1);
    X509_EXTENSION_free(names);
    X509_sign(x509, key, EVP_sha256());

    const TestCertificate certificate{dir / "localhost.pem", dir / "localhost.key"};
    WritePem(certificate.pemPath, [&](BIO* out) { return PEM_write_bio_X509(out, x509); });
    WritePem(certificate.keyPath, [&](BIO* out) {
        return PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    });
    X509_free(x509);
    EVP_PKEY_free(key);
    return certificate;
}

}  // namespace

const TestCertificate& SelfSignedLocalhost() {
    static const CTempDir dir;
    static const TestCertificate certificate = MakeSelfSigned(dir);
    return certificate;
}

struct CTlsPeerSession::Impl {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL* ssl = nullptr;
    ~Impl() {
        if (ssl != nullptr) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        SSL_CTX_free(context);
    }
};

CTlsPeerSession::CTlsPeerSession(CPeerSession& session, const TestCertificate& certificate)
    : impl_(std::make_unique<Impl>()) {
    // A client that goes away must not end the test program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    timeval wait{5, 0};
    setsockopt(session.Fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    SSL_CTX_use_certificate_file(impl_->context, certificate.pemPath.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(impl_->context, certificate.keyPath.c_str(), SSL_FILETYPE_PEM);
    impl_->ssl = SSL_new(impl_->context);
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
