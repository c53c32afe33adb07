#include "nntp/nntp_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/number_readers.h"
#include "nntp/address.h"
#include "nntp/tls_session.h"

namespace vexlo {

namespace {

// One receive takes up to this much; a 62-byte body line then costs about
// 1/4000 of a system call while the server keeps up.
constexpr size_t kRecvBufferSize = 256 * 1024;
// Kernel receive buffer asked for: a BODY of several MB can stream in while
// the channel writes to disk. The kernel caps it at net.core.rmem_max.
constexpr int kSocketReceiveBufferSize = 4 * 1024 * 1024;
// A server line used as the error text is cut when it is this long or longer.
constexpr size_t kCutLength = 256;
constexpr size_t kCutKeep = 252;

}  // namespace

CNntpConnection::CNntpConnection(int receiveTimeoutMs)
    : receiveTimeoutMs_(receiveTimeoutMs),
      recvBuffer_(std::make_unique_for_overwrite<char[]>(kRecvBufferSize)) {}

CNntpConnection::~CNntpConnection() {
    CloseSocket();
}

std::string_view CNntpConnection::GetError() const {
    return error_.data();
}

std::string_view CNntpConnection::GetBanner() const {
    return banner_.data();
}

void CNntpConnection::SetReceiveTimeout(int milliseconds) {
    receiveTimeoutMs_ = milliseconds;
    if (socket_ != kInvalidSocket) ApplyReceiveTimeout();
}

bool CNntpConnection::ApplyReceiveTimeout() {
    timeval tv{};
    tv.tv_sec = receiveTimeoutMs_ / 1000;
    tv.tv_usec = static_cast<suseconds_t>(receiveTimeoutMs_ % 1000) * 1000;
    return setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

void CNntpConnection::SetError(const char* text) {
    std::snprintf(error_.data(), error_.size(), "%s", text);
}

void CNntpConnection::SetErrorFromLine(std::string_view line) {
    if (line.size() < kCutLength) {
        std::snprintf(error_.data(), error_.size(), "%.*s", static_cast<int>(line.size()),
                      line.data());
    } else {
        std::snprintf(error_.data(), error_.size(), "%.*s...", static_cast<int>(kCutKeep),
                      line.data());
    }
}

void CNntpConnection::CloseSocket() {
    session_.reset();
    if (socket_ != kInvalidSocket) close(socket_);
    socket_ = kInvalidSocket;
    readPos_ = readEnd_ = 0;
}

int CNntpConnection::FailConnect() {
    if (socket_ != kInvalidSocket) shutdown(socket_, SHUT_RDWR);
    CloseSocket();
    return 0;
}

int CNntpConnection::Connect(uint32_t address, uint16_t port, int useLogin, std::string_view user,
                             std::string_view password) {
    CloseSocket();
    error_[0] = 0;
    banner_[0] = 0;
    lastReadError_ = 0;
    tlsFailure_ = false;
    tlsRefused_ = false;

    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket_ < 0) {
        socket_ = kInvalidSocket;
        SetError("ERROR: socket() failed: unable to allocate handle");
        return 0;
    }
    if (!ApplyReceiveTimeout()) {
        SetError("ERROR: Setting Socket Options (Upgrade WinSock to v2.0+)");
        CloseSocket();
        return 0;
    }
    // Set before connecting so the window scale is negotiated for it; a
    // refusal only costs speed.
    const int rcvbuf = kSocketReceiveBufferSize;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    if (connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        std::snprintf(error_.data(), error_.size(), "ERROR(%d): No Connection To Server!", errno);
        CloseSocket();
        return 0;
    }
    if (tls_.mode == kTlsImplicit && !StartTls(address)) return FailConnect();

    char reply[kReplyBufferSize];
    int n = ReadReply(reply, sizeof reply);
    if (n <= 0) {
        std::snprintf(error_.data(), error_.size(), "ERROR(%d): No Server Response [CONNECT]",
                      lastReadError_);
        return FailConnect();
    }
    const size_t bannerLength = std::min(std::strlen(reply), banner_.size() - 1);
    std::memcpy(banner_.data(), reply, bannerLength);
    banner_[bannerLength] = 0;
    int code = ReplyCode(reply);
    if (code < 0) {
        SetError("ERROR: Unknown Server Response");
        return FailConnect();
    }
    if (code != 200 && code != 201) {
        SetErrorFromLine(reply);
        return FailConnect();
    }
    if (tls_.mode == kTlsStartTls && !NegotiateStartTls(address)) return FailConnect();
    if (useLogin != 1) return 1;

    std::string command = "AUTHINFO USER ";
    command.append(user).append("\r\n");
    if (!Send(command)) {
        SetError("ERROR: Transmitting Username");
        return FailConnect();
    }
    n = ReadReply(reply, sizeof reply);
    if (n <= 0) {
        SetError("ERROR: Logging In (USER)");
        return FailConnect();
    }
    code = ReplyCode(reply);
    if (code < 0) {
        SetError("ERROR: Unknown USER Response");
        return FailConnect();
    }
    if (code != 381) {
        SetErrorFromLine(reply);
        return FailConnect();
    }

    command = "AUTHINFO PASS ";
    command.append(password).append("\r\n");
    if (!Send(command)) {
        SetError("ERROR: Transmitting Password");
        return FailConnect();
    }
    n = ReadReply(reply, sizeof reply);
    if (n <= 0) {
        SetError("ERROR: Logging In (PASS)");
        return FailConnect();
    }
    code = ReplyCode(reply);
    if (code < 0) {
        SetError("ERROR: Unknown PASS Response");
        return FailConnect();
    }
    if (code != 281) {
        SetErrorFromLine(reply);
        return FailConnect();
    }
    return 1;
}

bool CNntpConnection::StartTls(uint32_t address) {
    auto session = std::make_unique<CTlsSession>();
    if (!session->Handshake(socket_, tls_, FormatDottedAddress(address))) {
        tlsFailure_ = true;
        tlsRefused_ = session->Refused();
        SetError(session->ErrorText().c_str());
        return false;
    }
    session_ = std::move(session);
    return true;
}

bool CNntpConnection::NegotiateStartTls(uint32_t address) {
    tlsFailure_ = true;  // until the handshake is done
    if (!Send("STARTTLS\r\n")) {
        SetError("TLS: STARTTLS could not be sent");
        return false;
    }
    char reply[kReplyBufferSize];
    if (ReadReply(reply, sizeof reply) <= 0) {
        SetError("TLS: no reply to STARTTLS");
        return false;
    }
    if (ReplyCode(reply) != 382) {
        // Never go on in clear text: the login would follow.
        tlsRefused_ = true;
        SetErrorFromLine(reply);
        std::string text = std::string("TLS: server refused STARTTLS: ") + error_.data();
        SetError(text.c_str());
        return false;
    }
    // Bytes that came in clear text behind the 382 are not the server's
    // (RFC 4642): they are dropped, not read as if encrypted.
    readPos_ = readEnd_ = 0;
    if (!StartTls(address)) return false;
    tlsFailure_ = false;
    return true;
}

bool CNntpConnection::Fill() {
    readPos_ = readEnd_ = 0;
    if (socket_ == kInvalidSocket) {
        lastReadError_ = EBADF;
        return false;
    }
#ifdef TCP_QUICKACK
    // The kernel drops quick-ACK mode again on its own; re-arm it so the ACK
    // for what we already took goes out now instead of after the delayed-ACK
    // timer, which the server's Nagle would otherwise wait for.
    const int one = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
    if (session_ != nullptr) {
        int error = 0;
        const long n = session_->Read(recvBuffer_.get(), kRecvBufferSize, &error);
        if (n > 0) {
            readEnd_ = static_cast<size_t>(n);
            return true;
        }
        lastReadError_ = error;
        return false;
    }
    for (;;) {
        const ssize_t n = recv(socket_, recvBuffer_.get(), kRecvBufferSize, 0);
        if (n > 0) {
            readEnd_ = static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        lastReadError_ = n == 0 ? 0 : errno;
        return false;
    }
}

int CNntpConnection::TakeLine(char* dest, int room) {
    size_t taken = 0;
    const size_t limit = static_cast<size_t>(room);
    for (;;) {
        if (readPos_ == readEnd_ && !Fill()) return -1;
        const char* start = recvBuffer_.get() + readPos_;
        const size_t avail = std::min(readEnd_ - readPos_, limit - taken);
        const void* lf = std::memchr(start, '\n', avail);
        const size_t n =
            lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - start) + 1 : avail;
        std::memcpy(dest + taken, start, n);
        readPos_ += n;
        taken += n;
        if (lf != nullptr || taken == limit) return static_cast<int>(taken);
    }
}

int CNntpConnection::ReadLine() {
    error_[0] = 0;
    // A line whose LF is already received is handed out where it lies: the
    // bytes are consumed, so its end can take the NUL. Only a line split
    // across receives (or a piece of an over-long one) is gathered by a copy.
    if (readPos_ < readEnd_) {
        char* start = recvBuffer_.get() + readPos_;
        const size_t avail = std::min(readEnd_ - readPos_, size_t{kMaxLineLength});
        if (auto* lf = static_cast<char*>(std::memchr(start, '\n', avail))) {
            size_t n = static_cast<size_t>(lf - start) + 1;
            readPos_ += n;
            while (n > 0 && (start[n - 1] == '\r' || start[n - 1] == '\n')) --n;
            start[n] = 0;
            line_ = start;
            lineLength_ = n;
            return static_cast<int>(n);
        }
    }
    char* line = lineCopy_.data();
    line_ = line;
    int n = TakeLine(line, kMaxLineLength);
    if (n < 0) {
        line[0] = 0;
        lineLength_ = 0;
        Quit();
        return -1;
    }
    // A piece cut at the length limit holds no LF and is returned whole.
    if (line[n - 1] == '\n') {
        while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) --n;
    }
    line[n] = 0;
    lineLength_ = static_cast<size_t>(n);
    return n;
}

int CNntpConnection::ReadReply(char* buffer, int capacity) {
    error_[0] = 0;
    if (capacity - 1 < 1) return 0;
    int n = TakeLine(buffer, capacity - 1);
    if (n < 0) {
        buffer[0] = 0;
        Quit();
        return -1;
    }
    if (n >= 2 && buffer[n - 2] == '\r' && buffer[n - 1] == '\n') n -= 2;
    buffer[n] = 0;
    return n;
}

int CNntpConnection::Send(std::string_view text) {
    error_[0] = 0;
    if (!SendBytes(text.data(), text.size())) {
        SetError("Error Sending To Remote Host");
        return 0;
    }
    return 1;
}

bool CNntpConnection::SendBytes(const char* data, size_t size) {
    if (socket_ == kInvalidSocket) return false;
    if (session_ != nullptr) return session_->Write(data, size);
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = send(socket_, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

int CNntpConnection::Quit() {
    Send("QUIT\r\n");
    if (socket_ == kInvalidSocket) return -1;
    if (session_ != nullptr) session_->Close();
    session_.reset();
    shutdown(socket_, SHUT_RDWR);
    const int result = close(socket_);
    socket_ = kInvalidSocket;
    readPos_ = readEnd_ = 0;
    return result;
}

}  // namespace vexlo
