#include "support/tls_peer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <stdexcept>

#include "support/temp_dir.h"

namespace vexlo::test {

namespace {

std::string Pem(int (*write)(BIO*, void*), void* object) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio, object);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(size));
    BIO_free(bio);
    return pem;
}

TestCertificate MakeSelfSigned(const std::string& path) {
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

    TestCertificate certificate;
    certificate.certificatePem =
        Pem([](BIO* bio, void* x) { return PEM_write_bio_X509(bio, static_cast<X509*>(x)); }, x509);
    certificate.keyPem = Pem(
        [](BIO* bio, void* k) {
            return PEM_write_bio_PrivateKey(bio, static_cast<EVP_PKEY*>(k), nullptr, nullptr, 0,
                                            nullptr, nullptr);
        },
        key);
    certificate.pemPath = path;
    WriteFileBytes(path, certificate.certificatePem);
    X509_free(x509);
    EVP_PKEY_free(key);
    return certificate;
}

}  // namespace

const TestCertificate& SelfSignedLocalhost() {
    static const CTempDir dir;
    static const TestCertificate certificate = MakeSelfSigned(dir / "localhost.pem");
    return certificate;
}

struct CTlsPeerSession::Impl {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    ~Impl() {
        if (ssl != nullptr) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        if (context != nullptr) SSL_CTX_free(context);
    }
};

CTlsPeerSession::CTlsPeerSession(CPeerSession& session, const TestCertificate& certificate)
    : impl_(std::make_unique<Impl>()) {
    // A client that goes away must not end the test program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    timeval wait{5, 0};
    setsockopt(session.Fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    impl_->context = SSL_CTX_new(TLS_server_method());
    BIO* certBio = BIO_new_mem_buf(certificate.certificatePem.data(),
                                   static_cast<int>(certificate.certificatePem.size()));
    BIO* keyBio =
        BIO_new_mem_buf(certificate.keyPem.data(), static_cast<int>(certificate.keyPem.size()));
    X509* x509 = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    SSL_CTX_use_certificate(impl_->context, x509);
    SSL_CTX_use_PrivateKey(impl_->context, key);
    X509_free(x509);
    EVP_PKEY_free(key);
    BIO_free(certBio);
    BIO_free(keyBio);
    impl_->ssl = SSL_new(impl_->context);
    SSL_set_fd(impl_->ssl, session.Fd());
    ok_ = SSL_accept(impl_->ssl) == 1;
    ERR_clear_error();
}

CTlsPeerSession::~CTlsPeerSession() = default;

void CTlsPeerSession::Write(std::string_view bytes, size_t record) {
    if (!ok_) return;
    if (record == 0) {
        size_t written = 0;
        SSL_write_ex(impl_->ssl, bytes.data(), bytes.size(), &written);
        return;
    }
    const int one = 1;
    setsockopt(SSL_get_fd(impl_->ssl), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    while (!bytes.empty()) {
        const size_t n = std::min(record, bytes.size());
        size_t written = 0;
        if (SSL_write_ex(impl_->ssl, bytes.data(), n, &written) != 1) return;
        bytes.remove_prefix(n);
        usleep(200);  // lets the client take each record on its own
    }
}

std::string CTlsPeerSession::ReadLine() {
    for (;;) {
        const size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf + 1);
            pending_.erase(0, lf + 1);
            return line;
        }
        char chunk[4096];
        size_t n = 0;
        if (!ok_ || SSL_read_ex(impl_->ssl, chunk, sizeof chunk, &n) != 1) {
            ERR_clear_error();
            return "";
        }
        pending_.append(chunk, n);
    }
}

}  // namespace vexlo::test
