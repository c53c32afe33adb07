// A header scan of 100,000 articles from the INN fixture, end to end: one
// SCAN NEW task on one channel of the task engine, from GROUP through the
// XOVER reply into the .XOV, the sort and the matching into .BIN and .MSG.
//
// The fixture named by $VEXLO_INN_DIR is used when it is set; otherwise the
// program starts one with scripts/inn-test-server in a temporary folder and
// stops it at the end. The articles go into a fresh group of the anonymous
// server, fed as a news peer: 20,000 posts of five parts from ten posters
// whose parts interleave, small bodies.
//
// Prints "BENCH scan_xover_100k_s <seconds> s" (queueing to the end of the
// run), "BENCH scan_xover_100k_transfer_s <seconds> s" (up to the last
// overview line, seen as the switch to the sorting state) and
// "BENCH scan_xover_lines_per_s <lines> lines/s" (end to end) and
// "BENCH scan_xover_100k_cpu_s <seconds> s" (this process's CPU time over the
// run: the client's own cost, while the wall time is mostly the server's).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "groups/header_record.h"
#include "support/inn_fixture.h"
#include "tasks/engine_harness.h"
#include "tasks/progress_table.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

using namespace vexlo;

namespace {

constexpr int kPosts = 20'000;
constexpr int kParts = 5;
constexpr int kPosters = 10;
constexpr uint32_t kArticles = kPosts * kParts;

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Posts of five parts from ten posters at once: the parts of ten posts
// interleave in article order, as a server delivers them.
std::vector<test::Article> MakeArticles(const std::string& group) {
    std::vector<test::Article> articles;
    articles.reserve(kArticles);
    for (int batch = 0; batch < kPosts; batch += kPosters) {
        for (int part = 1; part <= kParts; ++part) {
            for (int p = 0; p < kPosters; ++p) {
                char subject[128];
                std::snprintf(subject, sizeof subject,
                              "[%d/%d] - \"holiday-%05d.rar\" yEnc (%02d/%02d)", batch + p + 1,
                              kPosts, batch + p, part, kParts);
                test::Article a;
                a.messageId = test::UniqueMessageId("bench");
                a.newsgroups = group;
                a.subject = subject;
                a.from =
                    "Poster " + std::to_string(p) + " <poster" + std::to_string(p) + "@vexlo.test>";
                a.bodyLines = {"M9&%L;&\\@9&]R(&)E;F-H;6%R:VEN9R!T:&4@<V-A;B!O9B!A(&=R;W5P", "`",
                               "end"};
                articles.push_back(std::move(a));
            }
        }
    }
    return articles;
}

}  // namespace

int main() {
    test::CScopedInnFixture own;
    if (!own.StartIfNeeded(VEXLO_SOURCE_DIR)) {
        std::fprintf(stderr, "cannot start the INN fixture (scripts/inn-test-server)\n");
        return 1;
    }
    const test::InnServer* inn = nullptr;
    try {
        inn = &test::Inn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const std::string group = test::CreateUniqueGroup("alt.binaries.bench.xover");
    if (group.empty()) {
        std::fprintf(stderr, "cannot create a group on the fixture\n");
        return 1;
    }

    auto seedStart = Clock::now();
    std::string error;
    if (!test::PostArticlesTo(inn->anonPort, MakeArticles(group), &error)) {
        std::fprintf(stderr, "seeding failed: %s\n", error.c_str());
        return 1;
    }
    double seeding = Since(seedStart);
    std::printf("seeded %u articles into %s in %.1f s\n", kArticles, group.c_str(), seeding);
    std::printf("BENCH seed_100k_articles_s %.2f s\n", seeding);

    test::CEngineHarness engine(inn->host, inn->anonPort, 1);
    RegisterStandardHandlers(engine.handlers);
    engine.context.settings.SetRetries(0);
    engine.context.settings.SetOption(OPT_AUTO_REMOVE_DONE, 0);
    engine.Open();
    bool done = false;
    engine.controller->onTaskDone = [&](const CTask&, int) { done = true; };

    const double cpuStart = CpuSeconds();
    auto start = Clock::now();
    engine.controller->ScanGroups({group});
    CTask* task = engine.Queue().Row(0).task.get();
    engine.controller->StartCommand();
    double transfer = -1;
    while (!done) {
        engine.controller->ProcessMessages(1);
        ProgressReport report;
        if (transfer < 0 && engine.context.progress.ReadProgress(task->Key(), report) &&
            report.state >= kProgressSorting)
            transfer = Since(start);
        if (Since(start) > 600) {
            std::fprintf(stderr, "the scan did not end within 600 s\n");
            return 1;
        }
    }
    const double total = Since(start);
    const double cpu = CpuSeconds() - cpuStart;
    if (task->GetResult() != kResultCompleted) {
        std::fprintf(stderr, "scan failed: %s\n", task->GetStatusText().c_str());
        return 1;
    }
    std::printf("scan: %u binaries, %u messages (%s)\n", task->GetBinCount(), task->GetMsgCount(),
                task->GetStatusText().c_str());
    if (task->GetBinCount() != kPosts || task->GetMsgCount() != 0) {
        std::fprintf(stderr, "unexpected figures: %u binaries, %u messages\n", task->GetBinCount(),
                     task->GetMsgCount());
        return 1;
    }
    std::printf("BENCH scan_xover_100k_s %.3f s\n", total);
    if (transfer >= 0) std::printf("BENCH scan_xover_100k_transfer_s %.3f s\n", transfer);
    std::printf("BENCH scan_xover_lines_per_s %.0f lines/s\n", kArticles / total);
    std::printf("BENCH scan_xover_100k_cpu_s %.3f s\n", cpu);
    return 0;
}
