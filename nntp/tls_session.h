// CTlsSession: the client side of TLS (OpenSSL) over a connected TCP socket,
// the layer under CNntpConnection's reader and Send when TLS is on.
//
// Contract:
//  - Handshake runs the TLS client handshake on the socket with the given
//    settings (trusted authorities, host name, verification). On failure it
//    keeps a text for the user, "TLS: ..." with the reason and the host
//    ("TLS: certificate not trusted (self-signed): news.example.net"), and
//    says whether the failure is one that trying again cannot mend (a
//    certificate that is refused, a protocol mismatch, an unreadable CA file)
//    or one of the link (the connection closed or timed out on the way).
//  - Read returns decrypted bytes as they come (at most `capacity`): the
//    count, 0 at the end of the stream, -1 on failure or time-out (the
//    socket's receive time-out applies) with the socket error in *error
//    (0 for an end of stream, EPROTO for a TLS protocol error).
//  - Write sends all bytes or fails. Close sends the close alert without
//    waiting for the answer. Nothing here closes the socket: its owner does.
//  - Socket writes never raise SIGPIPE.
//
// Thread ownership: one thread at a time, with its connection. The client
// contexts (trusted authorities and protocol settings) are shared by all
// sessions, one per CA file, behind a lock; each session has its own TLS
// state.
#pragma once

#include <memory>
#include <string>

#include "nntp/tls_settings.h"

namespace vexlo {

class CTlsSession {
  public:
    CTlsSession();
    ~CTlsSession();
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    // `hostShown` names the server in the texts (and is the name checked when
    // settings.hostName is empty). True when the connection is encrypted, and
    // verified unless settings.verify is false.
    bool Handshake(int socket, const TlsSettings& settings, const std::string& hostShown);

    // After a failed Handshake: the text, and whether repeating cannot help.
    const std::string& ErrorText() const { return errorText_; }
    bool Refused() const { return refused_; }

    long Read(char* buffer, size_t capacity, int* error);
    bool Write(const char* data, size_t size);
    void Close();

  private:
    struct Impl;
    void Fail(std::string text, bool refused);
    std::unique_ptr<Impl> impl_;
    std::string errorText_;
    bool refused_ = false;
};

}  // namespace vexlo
