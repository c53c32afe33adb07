// Fills the INN test servers with articles: a real file as a uuencoded (or,
// with --yenc, yEnc) multi-part binary, one plain article, or many small
// synthetic binaries.
// Run through "scripts/inn-test-server seed --dir D ..."; see Usage() below.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/inn_fixture.h"
#include "support/yenc_encoder.h"

namespace {

using vexlo::test::Article;

constexpr const char* kDefaultPoster = "Vexlo Seed <seed@vexlo.test>";

void Usage() {
    std::fprintf(stderr,
                 "usage: vexlo_seed --dir D [--instance anon|auth|both] [--group G] [--yenc] MODE\n"
                 "modes:\n"
                 "  --binary FILE --parts N [--name NAME] [--poster P] [--subject-format F]\n"
                 "           [--skip-parts I,J]  (leave parts out: an incomplete post)\n"
                 "  --article --subject S --poster P --message-id ID --body-file F [--date D]\n"
                 "  --count N [--parts K] [--size BYTES] [--poster P]\n"
                 "                 N synthetic binaries of K parts (default 2) and BYTES bytes\n"
                 "                 (default 2000) each, named synthetic-000001.bin ...\n"
                 "Binaries are uuencoded, or yEnc-encoded with --yenc (=ybegin/=ypart/=yend,\n"
                 "lines of 128 characters, pcrc32 in every part, crc32 in the last).\n"
                 "The group must exist (inn-test-server newgroup); default alt.binaries.test.\n");
}

struct Options {
    std::map<std::string, std::string> values;
    bool Has(const std::string& key) const { return values.count(key) > 0; }
    std::string Get(const std::string& key, const std::string& fallback = "") const {
        auto it = values.find(key);
        return it == values.end() ? fallback : it->second;
    }
    long Number(const std::string& key, long fallback) const {
        return Has(key) ? std::strtol(Get(key).c_str(), nullptr, 10) : fallback;
    }
    std::string Group() const { return Get("group", "alt.binaries.test"); }
    std::string Poster() const { return Get("poster", kDefaultPoster); }
};

// "--key value" pairs, and the flags --article and --yenc without a value.
bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key.rfind("--", 0) != 0) return false;
        if (key == "--article" || key == "--yenc")
            options->values[key.substr(2)] = "1";
        else if (i + 1 < argc)
            options->values[key.substr(2)] = argv[++i];
        else
            return false;
    }
    return true;
}

// The contents of the file that option `key` names; false, said on stderr,
// when it cannot be read.
bool ReadOptionFile(const Options& options, const std::string& key, std::string* data) {
    std::ifstream in(options.Get(key), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vexlo_seed: cannot read %s\n", options.Get(key).c_str());
        return false;
    }
    data->assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

class CPoster {
  public:
    CPoster(vexlo::test::InnServer server, std::string instance)
        : server_(std::move(server)), instance_(std::move(instance)) {}

    bool Post(const std::vector<Article>& articles) {
        std::string error;
        bool ok = true;
        if (instance_ != "auth")
            ok = vexlo::test::PostArticlesTo(server_.anonPort, articles, &error);
        if (ok && instance_ != "anon")
            ok = vexlo::test::PostArticlesTo(server_.authPort, articles, &error);
        if (!ok) {
            std::fprintf(stderr, "vexlo_seed: %s\n", error.c_str());
            return false;
        }
        for (const Article& article : articles)
            for (const std::string& line : article.bodyLines) bytes_ += line.size() + 2;
        count_ += articles.size();
        return true;
    }

    void Report(std::chrono::steady_clock::time_point start) const {
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("posted %zu articles (%.1f MB of body) to %s in %.2f s: %.0f articles/s\n",
                    count_, static_cast<double>(bytes_) / 1e6,
                    instance_ == "both" ? "anon and auth" : instance_.c_str(), seconds,
                    seconds > 0 ? static_cast<double>(count_) / seconds : 0.0);
    }

  private:
    vexlo::test::InnServer server_;
    std::string instance_;
    size_t count_ = 0;
    size_t bytes_ = 0;
};

// The articles of one binary, encoded as the options say.
std::vector<Article> MakePosts(const Options& options, const std::string& name,
                               const std::string& data, int parts,
                               const std::string& subjectFormat = "%s (%d/%d)") {
    if (options.Has("yenc"))
        return vexlo::test::MakeYencodedPosts(options.Group(), name, data, parts, options.Poster(),
                                              subjectFormat);
    return vexlo::test::MakeUuencodedPosts(options.Group(), name, data, parts, options.Poster(),
                                           subjectFormat);
}

int PostBinary(const Options& options, CPoster* poster) {
    std::string data;
    if (!ReadOptionFile(options, "binary", &data)) return 1;
    std::string name =
        options.Get("name", std::filesystem::path(options.Get("binary")).filename().string());
    auto posts = MakePosts(options, name, data, static_cast<int>(options.Number("parts", 1)),
                           options.Get("subject-format", "%s (%d/%d)"));
    if (options.Has("skip-parts")) {
        // An incomplete post: the listed parts (1-based, comma separated) are left out.
        std::vector<Article> kept;
        std::string skip = "," + options.Get("skip-parts") + ",";
        for (size_t i = 0; i < posts.size(); ++i)
            if (skip.find("," + std::to_string(i + 1) + ",") == std::string::npos)
                kept.push_back(posts[i]);
        posts = std::move(kept);
    }
    return poster->Post(posts) ? 0 : 1;
}

int PostPlainArticle(const Options& options, CPoster* poster) {
    Article article;
    article.newsgroups = options.Group();
    article.subject = options.Get("subject");
    article.from = options.Poster();
    article.messageId = options.Get("message-id", vexlo::test::UniqueMessageId("article"));
    article.date = options.Get("date");
    if (options.Has("body-file")) {
        std::string text;
        if (!ReadOptionFile(options, "body-file", &text)) return 1;
        // The file's lines, without their CR/LF ends.
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            article.bodyLines.push_back(line);
        }
    }
    return poster->Post({article}) ? 0 : 1;
}

// Many small binaries, posted in batches so memory stays small.
int PostSynthetic(const Options& options, CPoster* poster) {
    const long count = options.Number("count", 0);
    const int parts = static_cast<int>(options.Number("parts", 2));
    const auto size = static_cast<size_t>(options.Number("size", 2000));
    std::mt19937 random(12345);
    std::vector<Article> batch;
    for (long i = 1; i <= count; ++i) {
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>(random());
        char name[64];
        std::snprintf(name, sizeof(name), "synthetic-%06ld.bin", i);
        for (Article& post : MakePosts(options, name, data, parts))
            batch.push_back(std::move(post));
        if (batch.size() >= 20000 || i == count) {
            if (!poster->Post(batch)) return 1;
            batch.clear();
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const bool parsed = ParseOptions(argc, argv, &options);
    const std::string instance = options.Get("instance", "both");
    if (!parsed || !options.Has("dir") ||
        (instance != "both" && instance != "anon" && instance != "auth")) {
        Usage();
        return 2;
    }
    vexlo::test::InnServer server;
    std::string error;
    if (!vexlo::test::LoadInnServer(options.Get("dir"), &server, &error)) {
        std::fprintf(stderr, "vexlo_seed: %s\n", error.c_str());
        return 1;
    }
    using PostMode = int (*)(const Options&, CPoster*);
    const PostMode post = options.Has("binary")    ? PostBinary
                          : options.Has("article") ? PostPlainArticle
                          : options.Has("count")   ? PostSynthetic
                                                   : nullptr;
    if (post == nullptr) {
        Usage();
        return 2;
    }
    CPoster poster(server, instance);
    const auto start = std::chrono::steady_clock::now();
    const int result = post(options, &poster);
    if (result == 0) poster.Report(start);
    return result;
}
