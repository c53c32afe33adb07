#include "groups/group_file.h"

#include <cerrno>
#include <cstring>

#include "core/app_settings.h"
#include "platform/file.h"

namespace vexlo {

namespace {

// Reads the file front to back, keeping count of what is left so that a
// damaged length never makes us allocate more than the file holds.
class CRecordReader {
  public:
    explicit CRecordReader(CFile& file) : file_(file), left_(file.Size()) {}

    bool ReadInt(int32_t& value) {
        unsigned char b[4];
        if (!ReadBytes(b, 4)) return false;
        value = static_cast<int32_t>(
            static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
            static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
        return true;
    }

    int64_t Left() const { return left_; }

    bool ReadText(int32_t length, std::string& text) {
        if (length < 0 || length > left_) return false;
        text.resize(static_cast<size_t>(length));
        return length == 0 || ReadBytes(text.data(), text.size());
    }

  private:
    bool ReadBytes(void* buffer, size_t n) {
        if (static_cast<int64_t>(n) > left_ || !file_.ReadExact(buffer, n)) return false;
        left_ -= static_cast<int64_t>(n);
        return true;
    }

    CFile& file_;
    int64_t left_;
};

void PutInt(std::string& out, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string_view Cut(const std::string& text) {
    return std::string_view(text).substr(0, kMaxTextLength);
}

}  // namespace

GroupFileContents ReadGroupFile(const std::string& path) {
    GroupFileContents out;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return out;
    out.opened = true;
    CRecordReader reader(file);
    int32_t count = 0;
    if (!reader.ReadInt(count) || count <= 0) {
        out.damaged = count < 0 || reader.Left() != 0 || file.Size() < 4;
        return out;
    }
    out.expected = count;
    for (int32_t i = 0; i < count; ++i) {
        int32_t bin, fresh, msg, ln, ld, ls;
        GroupRecord record;
        if (!reader.ReadInt(bin) || !reader.ReadInt(fresh) || !reader.ReadInt(msg) ||
            !reader.ReadInt(ln) || !reader.ReadInt(ld) || !reader.ReadInt(ls) ||
            !reader.ReadText(ln, record.name) || !reader.ReadText(ld, record.saveToDirectory) ||
            !reader.ReadText(ls, record.lastScan)) {
            out.truncated = true;
            break;
        }
        if (!IsUsableGroupName(record.name)) {
            ++out.skipped;
            continue;
        }
        record.binCount = bin;
        record.newCount = fresh;
        record.msgCount = msg;
        if (record.saveToDirectory.size() > kMaxTextLength)
            record.saveToDirectory.resize(kMaxTextLength);
        if (record.lastScan.size() > kMaxTextLength) record.lastScan.resize(kMaxTextLength);
        out.records.push_back(std::move(record));
    }
    out.damaged = out.truncated || out.skipped > 0 || reader.Left() != 0;
    return out;
}

std::string EncodeGroupFile(const std::vector<GroupRecord>& records) {
    std::string out;
    PutInt(out, static_cast<int32_t>(records.size()));
    for (const GroupRecord& r : records) {
        std::string_view name = Cut(r.name), dir = Cut(r.saveToDirectory), scan = Cut(r.lastScan);
        PutInt(out, r.binCount);
        PutInt(out, r.newCount);
        PutInt(out, r.msgCount);
        PutInt(out, static_cast<int32_t>(name.size()));
        PutInt(out, static_cast<int32_t>(dir.size()));
        PutInt(out, static_cast<int32_t>(scan.size()));
        out.append(name).append(dir).append(scan);
    }
    return out;
}

bool WriteGroupFile(const std::string& path, const std::vector<GroupRecord>& records,
                    std::string& error) {
    std::string bytes = EncodeGroupFile(records);
    CAtomicFile file(path);
    errno = 0;
    if (file.Open() && file.Write(bytes.data(), bytes.size()) && file.Commit()) return true;
    error = errno != 0 ? std::strerror(errno) : "";
    return false;
}

}  // namespace vexlo
