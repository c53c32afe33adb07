// Fills the INN test servers with articles: a real file as a uuencoded (or,
// with --yenc, yEnc) multi-part binary, one plain article, or many small
// synthetic binaries.
// Run through "scripts/inn-test-server seed --dir D ..."; see Usage() below.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/inn_fixture.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/yenc_encoder.h"

namespace {

using namespace vexlo::test;

void Usage() {
    std::fprintf(
        stderr,
        "usage: vexlo_seed --dir D [--instance anon|auth|both] [--group G] [--yenc] MODE\n"
        "modes: --binary FILE --parts N [--name NAME] [--poster P] [--subject-format F]\n"
        "         [--skip-parts I,J]  (leave parts out: an incomplete post)\n"
        "       --article --subject S --poster P --message-id ID --body-file F [--date D]\n"
        "       --count N [--parts K] [--size BYTES] [--poster P]   (synthetic binaries)\n"
        "The group must exist (inn-test-server newgroup); default alt.binaries.test.\n");
}

// One run: the options, the servers, and what went out so far.
class CSeed {
  public:
    // "--key value" pairs, and the flags --article and --yenc without a value;
    // false when they do not name the servers and one mode.
    bool Parse(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            const std::string key = argv[i];
            const bool flag = key == "--article" || key == "--yenc";
            if (key.rfind("--", 0) != 0 || (!flag && i + 1 == argc)) return false;
            options_[key.substr(2)] = flag ? "1" : argv[++i];
        }
        const std::string instance = Get("instance", "both");
        return Has("dir") && (instance == "both" || instance == "anon" || instance == "auth") &&
               (Has("binary") || Has("article") || Has("count"));
    }

    int Run() {
        std::string error;
        if (!LoadInnServer(Get("dir"), &server_, &error)) return Fail(error);
        if (!(Has("binary") ? PostBinary() : Has("article") ? PostPlainArticle() : PostSynthetic()))
            return 1;
        std::printf("posted %zu articles to %s\n", count_, Get("instance", "both").c_str());
        return 0;
    }

  private:
    bool Has(const std::string& key) const { return options_.count(key) > 0; }
    std::string Get(const std::string& key, const std::string& fallback = "") const {
        return Has(key) ? options_.at(key) : fallback;
    }
    long Number(const std::string& key, long fallback) const {
        return Has(key) ? std::strtol(Get(key).c_str(), nullptr, 10) : fallback;
    }
    std::string Group() const { return Get("group", "alt.binaries.test"); }
    std::string Poster() const { return Get("poster", "Vexlo Seed <seed@vexlo.test>"); }

    static int Fail(const std::string& error) {
        std::fprintf(stderr, "vexlo_seed: %s\n", error.c_str());
        return 1;
    }

    // The contents of the file that option `key` names; false, said on
    // stderr, when there is no such file.
    bool ReadOptionFile(const std::string& key, std::string* data) const {
        if (!std::filesystem::is_regular_file(Get(key)))
            return Fail("cannot read " + Get(key)) == 0;
        *data = ReadFileBytes(Get(key));
        return true;
    }

    bool Post(const std::vector<Article>& articles) {
        std::string error;
        const std::string instance = Get("instance", "both");
        if ((instance != "auth" && !PostArticlesTo(server_.anonPort, articles, &error)) ||
            (instance != "anon" && !PostArticlesTo(server_.authPort, articles, &error))) {
            return Fail(error) == 0;
        }
        count_ += articles.size();
        return true;
    }

    // The articles of one binary, encoded as the options say.
    std::vector<Article> MakePosts(const std::string& name, const std::string& data, long parts,
                                   const std::string& subjectFormat = "%s (%d/%d)") const {
        const auto make = Has("yenc") ? MakeYencodedPosts : MakeUuencodedPosts;
        return make(Group(), name, data, static_cast<int>(parts), Poster(), subjectFormat);
    }

    bool PostBinary() {
        std::string data;
        if (!ReadOptionFile("binary", &data)) return false;
        const std::string file = std::filesystem::path(Get("binary")).filename().string();
        const auto posts = MakePosts(Get("name", file), data, Number("parts", 1),
                                     Get("subject-format", "%s (%d/%d)"));
        // An incomplete post: the listed parts (1-based, comma separated) are left
        // out.
        const std::string skip = "," + Get("skip-parts") + ",";
        std::vector<Article> kept;
        for (size_t i = 0; i < posts.size(); ++i)
            if (skip.find("," + std::to_string(i + 1) + ",") == std::string::npos)
                kept.push_back(posts[i]);
        return Post(kept);
    }

    bool PostPlainArticle() {
        Article article;
        article.messageId = Get("message-id", UniqueMessageId("article"));
        article.newsgroups = Group();
        article.subject = Get("subject");
        article.from = Poster();
        article.date = Get("date");
        std::string text;
        if (Has("body-file") && !ReadOptionFile("body-file", &text)) return false;
        // The file's lines, without their CR/LF ends.
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            article.bodyLines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
        return Post({article});
    }

    // Many small binaries, posted in batches so memory stays small.
    bool PostSynthetic() {
        const long count = Number("count", 0);
        std::vector<Article> batch;
        for (long i = 1; i <= count; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "synthetic-%06ld.bin", i);
            const std::string data = RandomBytes(Number("size", 2000), static_cast<unsigned>(i));
            for (Article& post : MakePosts(name, data, Number("parts", 2)))
                batch.push_back(std::move(post));
            if ((batch.size() >= 20000 || i == count) && !Post(std::exchange(batch, {})))
                return false;
        }
        return true;
    }

    std::map<std::string, std::string> options_;
    InnServer server_;
    size_t count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    CSeed seed;
    if (!seed.Parse(argc, argv)) {
        Usage();
        return 2;
    }
    return seed.Run();
}
