// The real news server of the integration tests, and the means to fill it.
//
// CTest starts two private INN 2 servers per build tree (scripts/inn-test-server)
// and hands their folder to every integration test in $VEXLO_INN_DIR:
//   anonPort  anonymous reading allowed
//   authPort  login required: AUTHINFO USER "tester", PASS "secret"
// Each also speaks TLS: STARTTLS on its plain port, and TLS from the first byte
// (NNTPS) on a second port (anonTlsPort, authTlsPort), with a certificate for
// kInnTlsHost, "localhost" and 127.0.0.1 signed by the fixture's own authority
// (caFile) and sent with that authority in its chain.
// Both listen on 127.0.0.1 and start with the groups alt.binaries.test,
// alt.binaries.pictures.test and misc.test. Tests that post should create
// groups of their own (alt.binaries.test.<case>) so that tests running in
// parallel do not see each other's articles.
//
// Articles are injected as a news peer would: a streaming connection (TAKETHIS)
// from 127.0.0.2, which the servers list as a feeding site, to both servers.
// Overview data is ready as soon as a post returns.
//
// All functions may be called from any thread; none keeps a connection open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexlo::test {

// Where the fixture servers listen.
struct InnServer {
    std::string host;  // "127.0.0.1"
    uint16_t anonPort = 0;
    uint16_t authPort = 0;
    uint16_t anonTlsPort = 0;  // NNTPS; 0 when the fixture has no TLS
    uint16_t authTlsPort = 0;
    std::string caFile;  // the authority that signed the servers' certificate
    std::string dir;     // the fixture folder (holds anon.port, auth.port, ...)
};

// The characters of group names and message-ids besides "." (and "+" in
// group names).
inline const std::string kNameCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";

// A name the servers' certificate carries besides localhost and 127.0.0.1.
inline constexpr const char* kInnTlsHost = "news.vexlo.test";

// The servers named by $VEXLO_INN_DIR, read once and checked to answer. Throws
// std::runtime_error with a clear message when the variable is unset or the
// servers are not up, which fails the calling test.
const InnServer& Inn();

// Reads the servers of fixture folder `dir` and checks that both accept a
// connection. Returns false with the reason in *error otherwise.
bool LoadInnServer(const std::string& dir, InnServer* server, std::string* error = nullptr);

// Creates newsgroup `name` on both servers of Inn() (no-op when it exists).
bool CreateGroup(const std::string& name);

// Creates a group "<prefix>.t<pid>-<n>" of this process on both servers and
// returns its name ("" on failure), so a test finds it empty when run again
// against the same servers.
std::string CreateUniqueGroup(const std::string& prefix);

// One article to inject. An empty date means "now". Body lines are given without
// line ends and without dot-stuffing; the feeder stuffs them on the wire.
struct Article {
    std::string messageId;  // "<unique@host>"
    std::string newsgroups;
    std::string subject;
    std::string from;
    std::string date;  // optional, e.g. "Sat, 05 Dec 2026 14:49:25 GMT"
    std::vector<std::string> bodyLines;
};

// Posts the articles to both servers of Inn(), pipelined. Returns false when a
// server refused an article (a message-id is never accepted twice, and groups
// must exist) or the connection failed; *error then says which and why.
bool PostArticles(const std::vector<Article>& articles, std::string* error = nullptr);

// The same to the one server on `port` of 127.0.0.1.
bool PostArticlesTo(uint16_t port, const std::vector<Article>& articles,
                    std::string* error = nullptr);

// A file posted as a uuencoded multi-part binary: the encoded lines (45 bytes
// each, "`" for zero values) are spread over `parts` articles of nearly equal
// line counts; part 1 opens with "begin 644 <fileName>", the last part closes
// with the "`" line and "end". Subjects come from subjectFormat filled with
// (fileName, part, parts), so "%s [%d/%d]" and "%s (%02d/%02d)" work too.
// Message-ids are unique within and across runs. parts < 1 counts as 1.
std::vector<Article> MakeUuencodedPosts(const std::string& group, const std::string& fileName,
                                        const std::string& data, int parts,
                                        const std::string& poster,
                                        const std::string& subjectFormat = "%s (%d/%d)");

// The uuencoded data lines of `data` (no begin, "`" or end lines).
std::vector<std::string> UuencodeLines(const std::string& data);

// A message-id no other call of this or any other process returns.
std::string UniqueMessageId(const std::string& hint = "post");

// For programs run outside CTest (benchmarks): when $VEXLO_INN_DIR names no
// fixture, starts a private one under /tmp with the checkout's
// scripts/inn-test-server and points $VEXLO_INN_DIR at it; stops and removes
// it when the object goes.
class CScopedInnFixture {
  public:
    CScopedInnFixture() = default;
    ~CScopedInnFixture();
    CScopedInnFixture(const CScopedInnFixture&) = delete;
    CScopedInnFixture& operator=(const CScopedInnFixture&) = delete;

    // True when a fixture is named or was started; `sourceDir` is the checkout.
    bool StartIfNeeded(const std::string& sourceDir);

  private:
    std::string base_, dir_, script_;
};

}  // namespace vexlo::test
