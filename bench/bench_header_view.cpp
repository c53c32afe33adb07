// The header view on a group of 1,000,000 messages: opening it (load, model
// reset and the first paint), sorting it by subject, scrolling to its end,
// and the resident memory the open view adds.
//
// The .MSG is written first, by a child process so that its memory is not
// counted, in subject order as a scan leaves it: posts of 1 to 60 parts with
// names of several shapes, from 300 posters. The subject sort is timed from
// the order of a sort by line count, so it has real work.
//
// Prints "BENCH header_view_open_1M_s", "BENCH header_view_sort_1M_s",
// "BENCH header_view_scroll_1M_s" (seconds) and "BENCH header_view_rss_1M_MB".
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/app_context.h"
#include "groups/header_list.h"
#include "groups/header_record.h"
#include "platform/record_file.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"
#include "ui/header_view.h"

using namespace vexlo;

namespace {

constexpr const char* kGroup = "alt.binaries.bench.view";
constexpr uint32_t kRecords = 1'000'000;
constexpr uint32_t kFirst = 1'000'000;

double ResidentMB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Subjects in the case-insensitive order of a scanned .MSG.
bool WriteMessageFile(const std::string& path) {
    std::mt19937 random(42);
    static const char* const kShapes[] = {
        "%s.part%03d.rar (%d/%d)",
        "[%s] - \"%s.vol%02d.par2\" yEnc (%d/%d)",
        "%s - Holiday Photos %d of %d.jpg",
        "Re: %s (%d/%d)",
    };
    std::vector<std::string> subjects;
    subjects.reserve(kRecords);
    char text[256];
    for (uint32_t post = 0; subjects.size() < kRecords; ++post) {
        char name[64];
        std::snprintf(name, sizeof name, "Some.Release.Name.%06u.x264-GROUP%u", post,
                      static_cast<unsigned>(random() % 97));
        int parts = 1 + static_cast<int>(random() % 60);
        int shape = static_cast<int>(post % 4);
        for (int n = 1; n <= parts && subjects.size() < kRecords; ++n) {
            if (shape == 1)
                std::snprintf(text, sizeof text, kShapes[1], name, name, n, n, parts);
            else
                std::snprintf(text, sizeof text, kShapes[shape], name, n, parts);
            subjects.emplace_back(text);
        }
    }
    std::sort(subjects.begin(), subjects.end(),
              [](const std::string& a, const std::string& b) { return CompareSubjects(a, b) < 0; });
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) return false;
    CRecordWriter out(file);
    out.WriteU32(kFirst);
    out.WriteU32(kFirst + kRecords * 2);
    for (uint32_t i = 0; i < kRecords; ++i) {
        char poster[64], id[64];
        uint32_t who = static_cast<uint32_t>(random() % 300);
        std::snprintf(poster, sizeof poster, "Poster %u <poster%u@example.com>", who, who);
        std::snprintf(id, sizeof id, "<part%u.%u@news.example.com>", i, who);
        uint32_t article = kFirst + static_cast<uint32_t>(random() % (kRecords * 2));
        uint32_t lines = 100 + static_cast<uint32_t>(random() % 5000);
        HeaderRecord record{
            i % 3 == 0 ? 0u : kHeaderFlagNew, article, lines, lines * 130, subjects[i], poster, id};
        if (!WriteHeaderRecord(out, record)) return false;
    }
    return out.Flush() && file.Close();
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes the group file in a child process; true when it succeeded.
bool WriteInChild(const std::string& path) {
    pid_t child = fork();
    if (child == 0) _exit(WriteMessageFile(path) ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/vexlo-bench-view-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string dir = std::string(pattern) + "/";
    std::filesystem::create_directories(dir + "DATA");
    bool written = WriteInChild(dir + "DATA/" + kGroup + ".MSG");

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int status = 1;
    {
        CSilentMessageBox box;
        CAppContext context(dir, box);
        CTaskHandlers handlers;
        if (!written || !context.Start()) {
            std::fprintf(stderr, "bench_header_view: cannot write the group file\n");
        } else {
            CMainController controller(context, handlers);
            ui::CVXView view(context, controller);
            view.resize(1000, 700);
            view.show();
            QApplication::processEvents();
            double before = ResidentMB();

            auto start = std::chrono::steady_clock::now();
            view.Headers().SetMode(HeaderMode::Messages);
            view.OpenGroup(kGroup);
            QApplication::processEvents();
            double open = Seconds(start);
            double rss = ResidentMB() - before;

            emit view.horizontalHeader()->sectionClicked(2);  // by line count first
            QApplication::processEvents();
            start = std::chrono::steady_clock::now();
            emit view.horizontalHeader()->sectionClicked(0);
            QApplication::processEvents();
            double sort = Seconds(start);

            start = std::chrono::steady_clock::now();
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
            QApplication::processEvents();
            view.scrollToBottom();
            QApplication::processEvents();
            double scroll = Seconds(start);

            if (view.Headers().Rows().size() != kRecords) {
                std::fprintf(stderr, "bench_header_view: %zu rows\n", view.Headers().Rows().size());
            } else {
                std::printf("BENCH header_view_open_1M_s %.3f s\n", open);
                std::printf("BENCH header_view_sort_1M_s %.3f s\n", sort);
                std::printf("BENCH header_view_scroll_1M_s %.3f s\n", scroll);
                std::printf("BENCH header_view_rss_1M_MB %.1f MB\n", rss);
                status = 0;
            }
        }
    }
    std::filesystem::remove_all(pattern);
    return status;
}
