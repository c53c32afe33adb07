#include "groups/header_record.h"

#include <algorithm>
#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vexlo {

namespace {

constexpr std::string_view kCutMarker = "...";
constexpr size_t kSubjectTail = (kMaxSubjectLength - kCutMarker.size()) / 2;
constexpr size_t kSubjectHead = kMaxSubjectLength - kCutMarker.size() - kSubjectTail;

constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        t[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return t;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

bool LengthsInBounds(uint32_t ls, uint32_t lf, uint32_t lm) {
    return ls <= kMaxSubjectLength && lf <= kMaxPosterLength && lm <= kMaxMessageIdLength;
}

void FillFixed(char* fixed, const HeaderRecord& r, size_t ls, size_t lf, size_t lm) {
    StoreU32(fixed, r.flags);
    StoreU32(fixed + 4, r.article);
    StoreU32(fixed + 8, r.lines);
    StoreU32(fixed + 12, r.bytes);
    StoreU32(fixed + 16, static_cast<uint32_t>(ls));
    StoreU32(fixed + 20, static_cast<uint32_t>(lf));
    StoreU32(fixed + 24, static_cast<uint32_t>(lm));
}

bool WriteText(CRecordWriter& out, const BoundedText& t) {
    return out.Write(t.head) && out.Write(t.marker) && out.Write(t.tail);
}

}  // namespace

std::string BoundedText::str() const {
    std::string s;
    s.reserve(size());
    s.append(head).append(marker).append(tail);
    return s;
}

BoundedText BoundSubject(std::string_view subject) {
    if (subject.size() <= kMaxSubjectLength) return {subject, {}, {}};
    return {subject.substr(0, kSubjectHead), kCutMarker,
            subject.substr(subject.size() - kSubjectTail)};
}

BoundedText BoundPoster(std::string_view poster) {
    return {poster.substr(0, kMaxPosterLength), {}, {}};
}

BoundedText BoundMessageId(std::string_view messageId) {
    return {messageId.substr(0, kMaxMessageIdLength), {}, {}};
}

int CompareSubjects(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    const char* pa = a.data();
    const char* pb = b.data();
    size_t i = 0;
    // Subjects of one post share long prefixes: skip equal blocks and fold
    // only where the bytes differ.
#if defined(__SSE2__)
    while (i + 16 <= n) {
        __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + i));
        __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + i));
        unsigned diff = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb))) ^ 0xFFFFu;
        while (diff != 0) {
            size_t k = i + static_cast<size_t>(__builtin_ctz(diff));
            int d =
                kFold[static_cast<unsigned char>(pa[k])] - kFold[static_cast<unsigned char>(pb[k])];
            if (d != 0) return d;
            diff &= diff - 1;
        }
        i += 16;
    }
#endif
    while (i + 8 <= n) {
        uint64_t wa, wb;
        std::memcpy(&wa, pa + i, 8);
        std::memcpy(&wb, pb + i, 8);
        if (wa != wb) {
            for (size_t k = i; k < i + 8; ++k) {
                int d = kFold[static_cast<unsigned char>(pa[k])] -
                        kFold[static_cast<unsigned char>(pb[k])];
                if (d != 0) return d;
            }
        }
        i += 8;
    }
    for (; i < n; ++i) {
        int d = kFold[static_cast<unsigned char>(pa[i])] - kFold[static_cast<unsigned char>(pb[i])];
        if (d != 0) return d;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

bool ParseHeaderRecord(std::string_view file, uint64_t offset, HeaderRecord& out, uint64_t* next) {
    if (offset > file.size() || file.size() - offset < kHeaderFixedSize) return false;
    const char* p = file.data() + offset;
    uint32_t ls = LoadU32(p + 16), lf = LoadU32(p + 20), lm = LoadU32(p + 24);
    if (!LengthsInBounds(ls, lf, lm)) return false;
    uint64_t total = kHeaderFixedSize + uint64_t{ls} + lf + lm;
    if (file.size() - offset < total) return false;
    out.flags = LoadU32(p);
    out.article = LoadU32(p + 4);
    out.lines = LoadU32(p + 8);
    out.bytes = LoadU32(p + 12);
    const char* text = p + kHeaderFixedSize;
    out.subject = {text, ls};
    out.poster = {text + ls, lf};
    out.messageId = {text + ls + lf, lm};
    if (next != nullptr) *next = offset + total;
    return true;
}

bool ReadHeaderRecord(CRecordReader& in, HeaderRecord& out) {
    const char* p = in.Peek(kHeaderFixedSize);
    if (p == nullptr) return false;
    uint32_t ls = LoadU32(p + 16), lf = LoadU32(p + 20), lm = LoadU32(p + 24);
    if (!LengthsInBounds(ls, lf, lm)) return false;
    size_t total = kHeaderFixedSize + size_t{ls} + lf + lm;
    p = in.Peek(total);
    if (p == nullptr) return false;
    std::string_view image(p, total);
    ParseHeaderRecord(image, 0, out);
    in.Advance(total);
    return true;
}

bool WriteHeaderRecord(CRecordWriter& out, const HeaderRecord& record) {
    BoundedText subject = BoundSubject(record.subject);
    BoundedText poster = BoundPoster(record.poster);
    BoundedText messageId = BoundMessageId(record.messageId);
    char fixed[kHeaderFixedSize];
    FillFixed(fixed, record, subject.size(), poster.size(), messageId.size());
    return out.Write(fixed, sizeof fixed) && WriteText(out, subject) && WriteText(out, poster) &&
           WriteText(out, messageId);
}

bool AppendHeaderRecord(CRecordWriter& out, uint32_t article, uint32_t lines, uint32_t bytes,
                        std::string_view subject, std::string_view poster,
                        std::string_view messageId) {
    HeaderRecord r{kHeaderFlagNew, article, lines, bytes, subject, poster, messageId};
    return WriteHeaderRecord(out, r);
}

void CMessageItem::Reset() {
    empty_ = true;
    flags_ = article_ = lines_ = bytes_ = 0;
    subject_.clear();
    poster_.clear();
    messageId_.clear();
}

bool CMessageItem::Read(CRecordReader& in) {
    Reset();
    HeaderRecord r;
    if (!ReadHeaderRecord(in, r)) return false;
    Assign(r);
    return true;
}

bool CMessageItem::Write(CRecordWriter& out) const {
    return WriteHeaderRecord(out, View());
}

void CMessageItem::Assign(const HeaderRecord& r) {
    empty_ = false;
    flags_ = r.flags;
    article_ = r.article;
    lines_ = r.lines;
    bytes_ = r.bytes;
    subject_ = BoundSubject(r.subject).str();
    poster_ = BoundPoster(r.poster).str();
    messageId_ = BoundMessageId(r.messageId).str();
}

HeaderRecord CMessageItem::View() const {
    return {flags_, article_, lines_, bytes_, subject_, poster_, messageId_};
}

}  // namespace vexlo
