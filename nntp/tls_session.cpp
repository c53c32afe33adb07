#include "nntp/tls_session.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "core/debug_log.h"

namespace vexlo {

namespace {

// Decrypted bytes are taken in large pieces: the reader of a BODY then pays
// one socket read per this many bytes, as it does without TLS.
constexpr long kReadBufferBytes = 256 * 1024;
// Room for one more record: a read is not begun with less.
constexpr size_t kRecordBytes = 16 * 1024;

// The socket under a session and the error of its last read.
struct SocketLink {
    int fd = -1;
    int lastErrno = 0;
};

SocketLink* LinkOf(BIO* bio) {
    return static_cast<SocketLink*>(BIO_get_data(bio));
}

int LinkWrite(BIO* bio, const char* data, size_t size, size_t* written) {
    SocketLink* link = LinkOf(bio);
    for (;;) {
        // MSG_NOSIGNAL: a server gone away is a failed write, not a signal.
        const ssize_t n = send(link->fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        *written = static_cast<size_t>(n);
        return 1;
    }
}

int LinkRead(BIO* bio, char* data, size_t size, size_t* readBytes) {
    SocketLink* link = LinkOf(bio);
    for (;;) {
        const ssize_t n = recv(link->fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
            *readBytes = static_cast<size_t>(n);
            return 1;
        }
        // 0: end of stream; EAGAIN: the receive time-out ran out.
        link->lastErrno = n == 0 ? 0 : errno;
        return 0;
    }
}

long LinkCtrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

// The BIO type of the sessions, made once and kept for the process.
BIO_METHOD* LinkMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vexlo socket");
        BIO_meth_set_write_ex(m, LinkWrite);
        BIO_meth_set_read_ex(m, LinkRead);
        BIO_meth_set_ctrl(m, LinkCtrl);
        BIO_meth_set_create(m, [](BIO* bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
        return m;
    }();
    return method;
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// What is wrong with a certificate, as "TLS: certificate <problem>: <host>"
// says it.
std::string CertificateProblem(long result) {
    switch (result) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return "not trusted (self-signed)";
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return "not trusted (unknown issuer)";
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "expired";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "not yet valid";
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "does not match the host name";
        default:
            return std::string("not trusted (") + X509_verify_cert_error_string(result) + ")";
    }
}

// A failed socket read during the handshake, in words.
std::string LinkErrorText(int error) {
    if (error == 0) return "connection closed";
    if (error == EAGAIN || error == EWOULDBLOCK) return "timed out";
    return std::strerror(error);
}

bool IsUnexpectedEof(unsigned long code) {
    return ERR_GET_LIB(code) == ERR_LIB_SSL &&
           ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

// A new client context: the system's authorities and those of `caFile`.
SSL_CTX* MakeContext(const std::string& caFile) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) return nullptr;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(context);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        SSL_CTX_free(context);
        return nullptr;
    }
    // A certificate of the CA file is trusted as it stands, even when it is
    // the server's own rather than an authority's.
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context), X509_V_FLAG_PARTIAL_CHAIN);
    SSL_CTX_set_read_ahead(context, 1);
    SSL_CTX_set_default_read_buffer_len(context, kReadBufferBytes);
    return context;
}

// Client contexts, one per CA file. Loading the system's authorities takes
// some 20 to 30 ms, too long to repeat for every connection of eight channels;
// a context is made once per CA file (again when the file changes) and shared,
// as OpenSSL allows once it is set up. Thread-safe.
class CContextCache {
  public:
    // A reference to the context for `caFile` (the caller frees it), or
    // nullptr when the file cannot be read.
    SSL_CTX* Get(const std::string& caFile) {
        std::string key = caFile;
        struct stat info {};
        if (!caFile.empty()) {
            if (stat(caFile.c_str(), &info) != 0) return nullptr;
            key += '\n' + std::to_string(info.st_mtim.tv_sec) + '.' +
                   std::to_string(info.st_mtim.tv_nsec) + '/' + std::to_string(info.st_size);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [entryKey, context] : entries_) {
            if (entryKey == key) {
                SSL_CTX_up_ref(context.get());
                return context.get();
            }
        }
        ContextPtr context(MakeContext(caFile));
        if (context == nullptr) return nullptr;
        if (entries_.size() == kMaxEntries) entries_.erase(entries_.begin());
        SSL_CTX_up_ref(context.get());
        entries_.emplace_back(std::move(key), std::move(context));
        return entries_.back().second.get();
    }

  private:
    struct FreeContext {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };
    using ContextPtr = std::unique_ptr<SSL_CTX, FreeContext>;
    static constexpr size_t kMaxEntries = 4;
    std::mutex mutex_;
    std::vector<std::pair<std::string, ContextPtr>> entries_;  // guarded by mutex_
};

CContextCache& Contexts() {
    // OpenSSL is set up before the cache exists, so that its own clean-up at
    // exit runs after the cache has let go of its contexts.
    static const int initialized = OPENSSL_init_ssl(0, nullptr);
    static CContextCache cache;
    (void)initialized;
    return cache;
}

}  // namespace

struct CTlsSession::Impl {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    SocketLink link;
    bool open = false;

    ~Impl() {
        if (ssl != nullptr) SSL_free(ssl);  // frees the BIO too
        if (context != nullptr) SSL_CTX_free(context);
    }
};

CTlsSession::CTlsSession() : impl_(std::make_unique<Impl>()) {}

CTlsSession::~CTlsSession() = default;

void CTlsSession::Fail(std::string text, bool refused) {
    errorText_ = std::move(text);
    refused_ = refused;
    ERR_clear_error();
}

bool CTlsSession::Handshake(int socket, const TlsSettings& settings, const std::string& hostShown) {
    impl_ = std::make_unique<Impl>();
    errorText_.clear();
    refused_ = false;
    ERR_clear_error();
    const std::string host = settings.hostName.empty() ? hostShown : settings.hostName;

    impl_->context = Contexts().Get(settings.caFile);
    if (impl_->context == nullptr) {
        Fail(settings.caFile.empty() ? "TLS: cannot be set up: " + host
                                     : "TLS: CA file cannot be read: " + settings.caFile,
             true);
        return false;
    }
    impl_->ssl = SSL_new(impl_->context);
    BIO* bio = impl_->ssl != nullptr ? BIO_new(LinkMethod()) : nullptr;
    if (bio == nullptr) {
        Fail("TLS: cannot be set up: " + host, true);
        return false;
    }
    SSL* ssl = impl_->ssl;
    SSL_set_verify(ssl, settings.verify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    impl_->link.fd = socket;
    BIO_set_data(bio, &impl_->link);
    SSL_set_bio(ssl, bio, bio);
    // The name is checked even when verification is off, so that the log can
    // say what was accepted.
    if (IsAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl, host.c_str());
    }

    const int result = SSL_connect(ssl);
    if (result != 1) {
        const long verified = SSL_get_verify_result(ssl);
        const int error = SSL_get_error(ssl, result);
        const unsigned long code = ERR_peek_last_error();
        if (settings.verify && verified != X509_V_OK) {
            Fail("TLS: certificate " + CertificateProblem(verified) + ": " + host, true);
        } else if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN ||
                   IsUnexpectedEof(code)) {
            Fail("TLS: handshake failed (" + LinkErrorText(impl_->link.lastErrno) + "): " + host,
                 false);
        } else {
            const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
            Fail(std::string("TLS: handshake failed (") +
                     (reason != nullptr ? reason : "protocol error") + "): " + host,
                 true);
        }
        return false;
    }
    impl_->open = true;
    if (!settings.verify && settings.log != nullptr) {
        const long verified = SSL_get_verify_result(ssl);
        const std::string problem =
            verified == X509_V_OK ? "it verifies" : CertificateProblem(verified);
        settings.log->LogPrintf(
            "TLS: certificate of %s accepted without verification (TlsVerify 0): %s\n",
            host.c_str(), problem.c_str());
    }
    return true;
}

long CTlsSession::Read(char* buffer, size_t capacity, int* error) {
    *error = 0;
    if (!impl_->open) {
        *error = EBADF;
        return -1;
    }
    ERR_clear_error();
    SSL* ssl = impl_->ssl;
    impl_->link.lastErrno = 0;
    size_t got = 0;
    if (SSL_read_ex(ssl, buffer, capacity, &got) != 1) {
        const int kind = SSL_get_error(ssl, 0);
        const unsigned long code = ERR_peek_last_error();
        ERR_clear_error();
        if (kind == SSL_ERROR_ZERO_RETURN || IsUnexpectedEof(code)) return 0;
        if (kind == SSL_ERROR_SYSCALL) {
            *error = impl_->link.lastErrno;
            return *error == 0 ? 0 : -1;
        }
        *error = EPROTO;
        return -1;
    }
    // Whole records already received are handed out with this read; a record
    // still arriving is waited for, as the server is in the middle of it.
    while (capacity - got >= kRecordBytes && SSL_has_pending(ssl) == 1) {
        size_t more = 0;
        if (SSL_read_ex(ssl, buffer + got, capacity - got, &more) != 1) {
            ERR_clear_error();
            break;  // the next Read reports it
        }
        got += more;
    }
    return static_cast<long>(got);
}

bool CTlsSession::Write(const char* data, size_t size) {
    if (!impl_->open) return false;
    ERR_clear_error();
    size_t written = 0;
    if (size == 0) return true;
    if (SSL_write_ex(impl_->ssl, data, size, &written) == 1 && written == size) return true;
    ERR_clear_error();
    return false;
}

void CTlsSession::Close() {
    if (impl_->open) {
        ERR_clear_error();
        SSL_shutdown(impl_->ssl);  // sends the close alert; does not wait for the server's
        ERR_clear_error();
    }
    impl_ = std::make_unique<Impl>();
}

}  // namespace vexlo
