// The header record: one article header as stored in the .XOV, .XOT and .MSG
// files, and CMessageItem, its in-memory form.
//
// Layout (little-endian u32 fields, no padding, texts without terminators):
//   flags, article, lines, bytes, Ls, Lf, Lm   (28 bytes)
//   subject (Ls bytes), poster (Lf bytes), message-id (Lm bytes)
//
// Every writer bounds the texts (subject 1023, poster 1023, message-id 259
// bytes) and every reader accepts exactly that: a record that claims a longer
// text is damaged, and readers treat it like a record cut short (end of data).
// A longer subject keeps its head and its tail around "..." so the part
// counter at its end survives; posters and message-ids keep their head.
//
// Stateless functions; a CMessageItem is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/record_file.h"

namespace vexlo {

inline constexpr size_t kHeaderFixedSize = 28;
inline constexpr uint32_t kMaxSubjectLength = 1023;
inline constexpr uint32_t kMaxPosterLength = 1023;
inline constexpr uint32_t kMaxMessageIdLength = 259;
inline constexpr size_t kMaxHeaderRecordSize =
    kHeaderFixedSize + kMaxSubjectLength + kMaxPosterLength + kMaxMessageIdLength;
// Flags word of every record the scan writes; bit 0 is the view's "new" mark.
inline constexpr uint32_t kHeaderFlagNew = 1;

// A header record's fields; the texts point into a file image or a buffer.
struct HeaderRecord {
    uint32_t flags = 0;
    uint32_t article = 0;
    uint32_t lines = 0;
    uint32_t bytes = 0;
    std::string_view subject;
    std::string_view poster;
    std::string_view messageId;
};

// A text as it is stored: at most three pieces written one after the other.
struct BoundedText {
    std::string_view head, marker, tail;
    size_t size() const { return head.size() + marker.size() + tail.size(); }
    std::string str() const;
};

// The cut rules of the writers (see the file comment).
BoundedText BoundSubject(std::string_view subject);
BoundedText BoundPoster(std::string_view poster);
BoundedText BoundMessageId(std::string_view messageId);

// Case-insensitive order of subjects: ASCII letters fold to lower case, bytes
// compare unsigned, a proper prefix sorts first. <0, 0 or >0.
int CompareSubjects(std::string_view a, std::string_view b);

// Parses the record that starts at `offset` of a file image. False when the
// record is not whole or a length is over its bound. `next` gets the offset
// behind the record.
bool ParseHeaderRecord(std::string_view file, uint64_t offset, HeaderRecord& out,
                       uint64_t* next = nullptr);
// Reads the next record; its texts stay valid until the reader's next call.
// False (position unchanged) at the end of the data or at a damaged record.
bool ReadHeaderRecord(CRecordReader& in, HeaderRecord& out);
// Writes one record, cutting the texts to their bounds.
bool WriteHeaderRecord(CRecordWriter& out, const HeaderRecord& record);
// The scan's writer: one record with flags 1 from the overview fields.
bool AppendHeaderRecord(CRecordWriter& out, uint32_t article, uint32_t lines, uint32_t bytes,
                        std::string_view subject, std::string_view poster,
                        std::string_view messageId);

// One header record in memory. Empty until a read succeeds.
class CMessageItem {
  public:
    CMessageItem() = default;
    virtual ~CMessageItem() = default;

    void Reset();
    // False at the end of the data or at a damaged record; the item is then empty.
    bool Read(CRecordReader& in);
    bool Write(CRecordWriter& out) const;
    void Assign(const HeaderRecord& record);
    HeaderRecord View() const;

    bool IsEmpty() const { return empty_; }
    uint32_t GetFlags() const { return flags_; }
    uint32_t GetArticle() const { return article_; }
    uint32_t GetLines() const { return lines_; }
    uint32_t GetBytes() const { return bytes_; }
    const std::string& GetSubject() const { return subject_; }
    const std::string& GetPoster() const { return poster_; }
    const std::string& GetMessageId() const { return messageId_; }

  private:
    bool empty_ = true;
    uint32_t flags_ = 0;
    uint32_t article_ = 0;
    uint32_t lines_ = 0;
    uint32_t bytes_ = 0;
    std::string subject_;
    std::string poster_;
    std::string messageId_;
};

}  // namespace vexlo
