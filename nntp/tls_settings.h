// TlsSettings: how a news server connection is encrypted, taken from the
// settings TLS, TlsVerify and TlsCaFile.
//
//   TLS 0  plain text (the default; nothing changes on the wire)
//   TLS 1  TLS from the first byte (NNTPS, usually port 563)
//   TLS 2  STARTTLS after the greeting (RFC 4642); a server that does not
//          answer 382 is refused, never used in clear text
//
// With verification on (TlsVerify 1, the default) the server's certificate
// chain must lead to an authority the system trusts, or to a certificate of
// TlsCaFile, and the certificate must name the host: `hostName`, the server
// text as the user typed it (a host name, or a dotted address checked against
// the certificate's IP addresses). TlsVerify 0 accepts any certificate and
// notes in the debug log, for every connection, what was accepted.
//
// A value type; copied into each connection.
#pragma once

#include <string>

namespace vexlo {

class CAppSettings;
class CDebugLog;

enum : int { kTlsNone = 0, kTlsImplicit = 1, kTlsStartTls = 2 };

inline constexpr int kDefaultNntpsPort = 563;

struct TlsSettings {
    int mode = kTlsNone;
    bool verify = true;
    std::string caFile;        // extra trusted certificates (PEM); empty: none
    std::string hostName;      // the name the certificate must carry; empty: the dotted address
    CDebugLog* log = nullptr;  // where unverified certificates are noted; not owned
};

// The TLS settings of `settings` for its Server, noting into `log`.
TlsSettings TlsFromSettings(const CAppSettings& settings, CDebugLog* log);

}  // namespace vexlo
