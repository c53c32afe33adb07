// The server side of TLS for scripted peers (support/script_peer.h): a
// certificate made in the process, and a session that speaks TLS over a
// scripted connection, so tests can send a TLS client odd lines, tiny
// records, or a certificate it must refuse.
//
// One thread at a time per session; the certificate is made once and shared.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "support/script_peer.h"

namespace vexlo::test {

// A self-signed certificate for "localhost" and 127.0.0.1 with its key, made
// once per process. `pemPath` is a file holding the certificate, for a
// client's extra trusted certificates; `keyPath` holds the key.
struct TestCertificate {
    std::string pemPath;
    std::string keyPath;
};
const TestCertificate& SelfSignedLocalhost();

class CTlsPeerSession {
  public:
    // Runs the server handshake over `session`'s connection. Ok() tells
    // whether the client completed it (a client that refuses the certificate
    // does not).
    explicit CTlsPeerSession(CPeerSession& session,
                             const TestCertificate& certificate = SelfSignedLocalhost());
    ~CTlsPeerSession();

    bool Ok() const { return ok_; }
    // Writes `bytes` as records of at most `record` bytes each, every one sent
    // on its own (0: as few records as TLS allows).
    void Write(std::string_view bytes, size_t record = 0);
    // Reads one line through its LF; "" when the client closed or time ran out.
    std::string ReadLine();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool ok_ = false;
    std::string pending_;
};

}  // namespace vexlo::test
