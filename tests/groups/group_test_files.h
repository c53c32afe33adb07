// Helpers for the group tests: builders and readers of the header database
// files (.XOV, .MSG, .BIN), and the server group list dialog's controls. It
// brings the headers most group tests use: GoogleTest, the application context
// with a recording message box, the file helpers and temporary directories.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/app_context.h"
#include "groups/binary_match.h"
#include "groups/group_list.h"
#include "groups/header_record.h"
#include "groups/scan_step.h"
#include "groups/server_group_list.h"
#include "platform/file.h"
#include "platform/record_file.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"

namespace vexlo::test {

using Numbers = std::vector<uint32_t>;
using Strings = std::vector<std::string>;

struct Hdr {
    uint32_t article;
    std::string subject;
    std::string poster = "poster <p@example.com>";
    std::string messageId = "<id@example.com>";
    uint32_t lines = 10;
    uint32_t bytes = 1000;
};

// A file with the range (first, last) in its header and then the records `write` adds.
template <class Records>
void WriteGroupFile(const std::string& path, uint32_t first, uint32_t last, Records&& write) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) throw std::runtime_error("create " + path);
    CRecordWriter out(file);
    out.WriteU32(first);
    out.WriteU32(last);
    write(out);
    out.Flush();
}

inline void WriteHeaderFile(const std::string& path, uint32_t first, uint32_t last,
                            const std::vector<Hdr>& headers) {
    WriteGroupFile(path, first, last, [&](CRecordWriter& out) {
        for (const Hdr& h : headers)
            AppendHeaderRecord(out, h.article, h.lines, h.bytes, h.subject, h.poster, h.messageId);
    });
}

inline void WriteBinaryFile(const std::string& path, uint32_t first, uint32_t last,
                            const std::vector<CBinaryItem>& items) {
    WriteGroupFile(path, first, last, [&](CRecordWriter& out) {
        for (const auto& b : items) b.Write(out);
    });
}

// The records of a file (CMessageItem for .XOV/.MSG, CBinaryItem for .BIN),
// read until the first one that cannot be read.
template <class Item>
std::vector<Item> ReadItems(const std::string& path) {
    std::vector<Item> items;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return items;
    CRecordReader in(file);
    Item item;
    if (!in.Skip(8)) return items;
    while (item.Read(in)) items.push_back(item);
    return items;
}
inline constexpr auto ReadHeaderFile = &ReadItems<CMessageItem>;
inline constexpr auto ReadBinaryFile = &ReadItems<CBinaryItem>;

// The (first, last) range in a file's header.
inline std::pair<uint32_t, uint32_t> FileRange(const std::string& path) {
    std::string b = ReadFileBytes(path);
    if (b.size() < 8) return {~0u, ~0u};
    return {LoadU32(b.data()), LoadU32(b.data() + 4)};
}

// One field of each item, in order.
template <class Item, class Get>
auto Map(const std::vector<Item>& items, Get get) {
    std::vector<std::decay_t<decltype(get(Item{}))>> out;
    for (const Item& i : items) out.push_back(get(i));
    return out;
}
template <class Item>
Strings Subjects(const std::vector<Item>& items) {
    return Map(items, [](const Item& i) { return i.GetSubject(); });
}
template <class Item>
Numbers Flags(const std::vector<Item>& items) {
    return Map(items, [](const Item& i) { return i.GetFlags(); });
}
inline Numbers Articles(const std::vector<CMessageItem>& items) {
    return Map(items, [](const CMessageItem& i) { return i.GetArticle(); });
}
inline std::vector<Numbers> Parts(const std::vector<CBinaryItem>& items) {
    return Map(items, [](const CBinaryItem& b) { return b.GetArticles(); });
}

// Headers with `subjects`, numbered from `firstArticle` on.
inline std::vector<Hdr> FromSubjects(const Strings& subjects, uint32_t firstArticle = 1) {
    std::vector<Hdr> h;
    for (const auto& s : subjects) h.push_back(Hdr{firstArticle++, s});
    return h;
}

// A scan step's figures: binaries, new binaries, messages.
inline Numbers Counts(const ScanStepResult& r) {
    return {r.binCount, r.newCount, r.msgCount};
}

// The icons of the messages shown, in order.
inline std::vector<MessageIcon> Icons(const CRecordingMessageBox& box) {
    return Map(box.Messages(), [](const CRecordingMessageBox::Shown& m) { return m.icon; });
}

inline CBinaryItem MakeBinary(const std::string& subject, Numbers articles, uint32_t flags = 1) {
    CBinaryItem b;
    Numbers lines(articles.size(), 10), bytes(articles.size(), 1000);
    b.Assign(flags, subject, "poster", "<id>", std::move(articles), std::move(lines),
             std::move(bytes));
    return b;
}

inline std::string U32Bytes(uint32_t v) {
    char b[4];
    StoreU32(b, v);
    return std::string(b, 4);
}

// An overview line of `article` with `subject`, without its CR LF.
inline std::string Overview(uint32_t article, const std::string& subject) {
    return std::to_string(article) + "\t" + subject + "\tp <p@x>\td\t<m@x>\t\t100\t5\tx";
}

// The names of the dialog's enabled buttons: "ok apply refresh add cancel" at most.
inline std::string EnabledControls(const CServerGroupList& model) {
    const CServerGroupList::Controls& c = model.GetControls();
    const std::string on = std::string(c.ok ? " ok" : "") + (c.apply ? " apply" : "") +
                           (c.refresh ? " refresh" : "") + (c.add ? " add" : "") +
                           (c.cancel ? " cancel" : "");
    return on.empty() ? on : on.substr(1);
}

// Handles the dialog model's notices until its refresh has ended (30 s at most).
inline bool FinishRefresh(CServerGroupList& model) {
    for (int i = 0; i < 600 && model.IsRefreshing(); ++i) model.ProcessMessages(50);
    return !model.IsRefreshing();
}

// A test on the application's files in a fresh directory, with its group list.
template <class Box = CRecordingMessageBox>
class AppFilesTest : public ::testing::Test {
  protected:
    AppFilesTest() { ::mkdir(app.DataPath().c_str(), 0755); }
    std::string Data(const std::string& name) const { return app.DataPath() + name; }

    CTempDir dir;
    Box box;
    CAppContext app{dir.Path(), box};
    CGroupList groups{app};
};

// A test on the files of group "g" in a fresh data directory.
class GroupFilesTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& ext) const { return dir.Path() + "g." + ext; }
    CTempDir dir;
};

}  // namespace vexlo::test
