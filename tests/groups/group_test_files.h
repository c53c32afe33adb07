// Builders and readers of header database files for the group tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "groups/binary_match.h"
#include "groups/header_record.h"
#include "groups/record_file.h"

namespace vexlo::test {

struct Hdr {
    uint32_t article;
    std::string subject;
    std::string poster = "poster <p@example.com>";
    std::string messageId = "<id@example.com>";
    uint32_t lines = 10;
    uint32_t bytes = 1000;
};

// A header file (.XOV, .MSG) with the range (first, last) and the records in the given order.
inline void WriteHeaderFile(const std::string& path, uint32_t first, uint32_t last,
                            const std::vector<Hdr>& headers) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) throw std::runtime_error("create " + path);
    CRecordWriter out(file);
    out.WriteU32(first);
    out.WriteU32(last);
    for (const Hdr& h : headers) {
        AppendHeaderRecord(out, h.article, h.lines, h.bytes, h.subject, h.poster, h.messageId);
    }
    out.Flush();
}

// The records of a header file, read until the first one that cannot be read.
inline std::vector<CMessageItem> ReadHeaderFile(const std::string& path, uint32_t* first = nullptr,
                                                uint32_t* last = nullptr) {
    std::vector<CMessageItem> items;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return items;
    CRecordReader in(file);
    uint32_t f = 0, l = 0;
    if (!in.ReadU32(f) || !in.ReadU32(l)) return items;
    if (first) *first = f;
    if (last) *last = l;
    CMessageItem item;
    while (item.Read(in)) items.push_back(item);
    return items;
}

inline std::vector<std::string> Subjects(const std::vector<CMessageItem>& items) {
    std::vector<std::string> s;
    for (const auto& i : items) s.push_back(i.GetSubject());
    return s;
}

inline std::vector<uint32_t> Articles(const std::vector<CMessageItem>& items) {
    std::vector<uint32_t> a;
    for (const auto& i : items) a.push_back(i.GetArticle());
    return a;
}

inline std::vector<CBinaryItem> ReadBinaryFile(const std::string& path, uint32_t* first = nullptr,
                                               uint32_t* last = nullptr) {
    std::vector<CBinaryItem> items;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return items;
    CRecordReader in(file);
    uint32_t f = 0, l = 0;
    if (!in.ReadU32(f) || !in.ReadU32(l)) return items;
    if (first) *first = f;
    if (last) *last = l;
    CBinaryItem item;
    while (item.Read(in)) items.push_back(item);
    return items;
}

inline void WriteBinaryFile(const std::string& path, uint32_t first, uint32_t last,
                            const std::vector<CBinaryItem>& items) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) throw std::runtime_error("create " + path);
    CRecordWriter out(file);
    out.WriteU32(first);
    out.WriteU32(last);
    for (const auto& b : items) b.Write(out);
    out.Flush();
}

inline CBinaryItem MakeBinary(const std::string& subject, std::vector<uint32_t> articles,
                              uint32_t flags = 1) {
    CBinaryItem b;
    std::vector<uint32_t> lines(articles.size(), 10), bytes(articles.size(), 1000);
    b.Assign(flags, subject, "poster", "<id>", std::move(articles), std::move(lines),
             std::move(bytes));
    return b;
}

inline std::string U32Bytes(uint32_t v) {
    char b[4];
    StoreU32(b, v);
    return std::string(b, 4);
}

}  // namespace vexlo::test
