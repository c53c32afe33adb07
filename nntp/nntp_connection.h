// CNntpConnection: one TCP connection to the news server and its line protocol.
//
// Contract:
//  - Connect opens the connection, reads the greeting (kept as the banner) and,
//    when asked, logs in with AUTHINFO USER/PASS. Send writes a command line as
//    it stands; ReadReply reads one reply line into the caller's buffer;
//    ReadLine reads one line of a multi-line response into the line buffer;
//    Quit sends "QUIT" and closes without waiting for the answer.
//  - Failures are return values plus a fixed text in GetError(); the text is
//    cleared at the start of every operation, so an empty text means success.
//  - A failed or timed-out read closes the connection itself (through Quit) and
//    returns -1; GetSocket() then returns kInvalidSocket.
//  - The connection knows no NNTP command beyond the greeting and the login,
//    does not detect the end of a multi-line response, does not undo
//    dot-stuffing and counts nothing: callers count bytes and articles.
//
// Encryption: SetTls chooses plain text (the default), TLS from the first byte
// or STARTTLS after the greeting (nntp/tls_settings.h). With TLS the readers
// and Send work on the decrypted stream through CTlsSession and every rule
// above stays. In STARTTLS mode the login follows the handshake: nothing but
// the greeting and "STARTTLS" ever passes in clear text, and a server that
// does not answer 382 is refused. TLS failures are Connect failures whose
// error text begins with "TLS: ".
//
// Reading: the readers take bytes from a receive buffer owned by the
// connection, refilled with one large recv when empty, so a line already
// received costs no system call and, when whole, no copy. ReadLine and
// ReadReply share that buffer, so mixing them never loses or reorders bytes. Before each receive
// that may block, TCP_QUICKACK is re-armed: the server writes a status line and the body in two
// writes, and with its Nagle and our delayed ACK each response would otherwise stall about 40 ms.
//
// Thread ownership: one thread at a time owns a connection and nothing else
// reads its socket. No locks. The object is large (fixed line, error and
// banner fields) and is embedded in its owner, never copied.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "nntp/tls_settings.h"

namespace vexlo {

class CTlsSession;

class CNntpConnection {
  public:
    static constexpr int kInvalidSocket = -1;
    // Longest line ReadLine returns; a longer one comes back in pieces.
    static constexpr int kMaxLineLength = 32759;
    static constexpr int kErrorTextSize = 1024;
    static constexpr int kBannerSize = 512;
    // Buffer size callers use for ReadReply (greeting, AUTHINFO, GROUP).
    static constexpr int kReplyBufferSize = 768;
    // A read waits this long for data before it fails.
    static constexpr int kDefaultReceiveTimeoutMs = 60000;

    // `receiveTimeoutMs` replaces the 60 s read time-out (tests use short ones).
    explicit CNntpConnection(int receiveTimeoutMs = kDefaultReceiveTimeoutMs);
    // Closes a socket that is still open, without sending QUIT; owners normally
    // call Quit first.
    virtual ~CNntpConnection();

    CNntpConnection(const CNntpConnection&) = delete;
    CNntpConnection& operator=(const CNntpConnection&) = delete;

    // Opens a connection to `address` (host order, first octet in the top
    // byte) and `port`, reads the greeting and, when useLogin is exactly 1,
    // logs in. Returns 1 when open (and logged in), 0 with the error text set
    // and the socket closed. An already open socket is closed first.
    int Connect(uint32_t address, uint16_t port, int useLogin, std::string_view user,
                std::string_view password);

    // Reads one line into the line buffer. Returns its length after trailing CR
    // and LF characters are removed (0 for an empty line), or -1 when the
    // connection failed or timed out (it is then closed). A line longer than
    // kMaxLineLength comes back as a piece of kMaxLineLength characters and
    // further pieces from the following calls.
    int ReadLine();

    // Reads one line into `buffer` (at most capacity-1 characters, NUL
    // terminated). Only a final CR LF pair is removed; a bare LF ending is kept
    // and counted. Returns the characters stored, 0 when capacity < 2, -1 on
    // failure (connection closed). Bytes beyond capacity-1 stay for the next
    // read.
    int ReadReply(char* buffer, int capacity);

    // Sends `text` as it stands (callers include the CR LF). Returns 1, or 0
    // with "Error Sending To Remote Host".
    int Send(std::string_view text);

    // Sends "QUIT\r\n", shuts the socket down both ways and closes it, without
    // waiting for the reply. Returns the result of the close (-1 when no socket
    // was open). The error text may say that QUIT could not be sent.
    int Quit();

    // The last line read by ReadLine; data() is NUL-terminated. Valid until
    // the next read of any kind (it may lie in the receive buffer).
    std::string_view GetLine() const { return {line_, lineLength_}; }
    // The text of the last failure, empty when the last operation succeeded;
    // data() is NUL-terminated.
    std::string_view GetError() const;
    // The greeting of the last Connect, CR LF removed, at most 511 characters;
    // data() is NUL-terminated.
    std::string_view GetBanner() const;
    int GetSocket() const { return socket_; }

    // How the next Connect encrypts (plain text until called).
    void SetTls(const TlsSettings& tls) { tls_ = tls; }
    const TlsSettings& GetTls() const { return tls_; }
    // The last Connect failed setting up TLS (its error text begins "TLS: ").
    bool IsTlsFailure() const { return tlsFailure_; }
    // ... and for a reason that connecting again cannot mend: the certificate
    // was refused, the server refused STARTTLS or does not speak TLS there, the
    // CA file cannot be read.
    bool IsTlsRefused() const { return tlsRefused_; }
    // The open connection is encrypted.
    bool IsEncrypted() const { return session_ != nullptr; }

    // Read time-out for the next Connect (and for the open socket, if any).
    void SetReceiveTimeout(int milliseconds);

    // Socket error code (errno) of the last failed read; 0 when the server
    // closed the connection. Connect reports it in "No Server Response".
    int GetLastReadError() const { return lastReadError_; }

  private:
    // Copies the stream up to and including the first LF, or `room` bytes when
    // no LF comes first, into `dest`. Returns the bytes copied, or -1 when a
    // receive failed (nothing is closed here).
    int TakeLine(char* dest, int room);
    // Refills the empty receive buffer with one receive. False on failure,
    // time-out or end of stream.
    bool Fill();
    bool ApplyReceiveTimeout();
    void SetError(const char* text);
    // A server line as the error text: lines of 256 characters and more are cut
    // to 252 characters and "...".
    void SetErrorFromLine(std::string_view line);
    // Connect's common failure exit: shut down, close, return 0.
    int FailConnect();
    // The TLS handshake on the open socket; false with the error text set.
    bool StartTls(uint32_t address);
    // STARTTLS after the greeting: the command, its 382, the handshake.
    bool NegotiateStartTls(uint32_t address);
    // Sends all of `data` on the socket or through TLS; false on failure.
    bool SendBytes(const char* data, size_t size);
    void CloseSocket();

    int socket_ = kInvalidSocket;
    int receiveTimeoutMs_;
    int lastReadError_ = 0;
    std::array<char, kErrorTextSize> error_{};
    std::array<char, kBannerSize> banner_{};
    // The last line: in the receive buffer, or in lineCopy_ when it had to
    // be gathered from several receives.
    const char* line_ = "";
    size_t lineLength_ = 0;
    std::array<char, kMaxLineLength + 9> lineCopy_{};  // 32768 bytes

    // Received bytes not yet handed out: [readPos_, readEnd_) of recvBuffer_.
    std::unique_ptr<char[]> recvBuffer_;
    size_t readPos_ = 0;
    size_t readEnd_ = 0;

    TlsSettings tls_;
    std::unique_ptr<CTlsSession> session_;  // set while the open connection is encrypted
    bool tlsFailure_ = false;
    bool tlsRefused_ = false;
};

}  // namespace vexlo
