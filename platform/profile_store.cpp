#include "platform/profile_store.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/file.h"

namespace vexlo {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The name of a "[name]" line, or nullopt-like empty flag through `ok`.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(line.substr(1, close - 1));
    return true;
}

bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return !key.empty();
}

// True when the value would not read back as written: the reader trims blanks
// and strips one pair of enclosing quotes, so such values get a pair of quotes.
bool NeedsQuotes(std::string_view value) {
    if (value.empty()) return false;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(value.front()) || blank(value.back())) return true;
    return value.size() >= 2 && value.front() == '"' && value.back() == '"';
}

}  // namespace

CProfileStore::CProfileStore(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A file with NUL bytes is not a text file (a garbled or foreign file): it
    // reads as empty, and the next write replaces it with a whole new file.
    if (text.find('\0') != std::string::npos) return;
    std::string_view rest = text;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);  // an editor's UTF-8 mark
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
    }
}

int CProfileStore::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (SectionName(lines_[i], name) && EqualNoCase(name, section)) return static_cast<int>(i);
    }
    return -1;
}

int CProfileStore::FindKey(int sectionLine, std::string_view key) const {
    for (size_t i = static_cast<size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
        std::string_view name, k, v;
        if (SectionName(lines_[i], name)) break;
        if (KeyValue(lines_[i], k, v) && EqualNoCase(k, key)) return static_cast<int>(i);
    }
    return -1;
}

std::string CProfileStore::GetProfileString(std::string_view section, std::string_view key,
                                            std::string_view defaultValue) const {
    std::lock_guard lock(mutex_);
    int s = FindSection(section);
    if (s >= 0) {
        int k = FindKey(s, key);
        if (k >= 0) {
            std::string_view name, value;
            KeyValue(lines_[static_cast<size_t>(k)], name, value);
            return std::string(value);
        }
    }
    return std::string(defaultValue);
}

int CProfileStore::GetProfileInt(std::string_view section, std::string_view key,
                                 int defaultValue) const {
    static constexpr char kMissing[] = "\x01missing";
    std::string text = GetProfileString(section, key, kMissing);
    if (text == kMissing) return defaultValue;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int>(negative ? 0u - value : value);
}

bool CProfileStore::WriteProfileString(std::string_view section, std::string_view key,
                                       std::string_view value) {
    // A line break would end the line and start a foreign key or section.
    if (value.find_first_of("\r\n") != std::string_view::npos ||
        value.find('\0') != std::string_view::npos)
        return false;
    std::lock_guard lock(mutex_);
    std::string entry = std::string(key) + "=";
    if (NeedsQuotes(value))
        entry += "\"" + std::string(value) + "\"";
    else
        entry += value;
    int s = FindSection(section);
    if (s < 0) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(entry);
    } else if (int k = FindKey(s, key); k >= 0) {
        lines_[static_cast<size_t>(k)] = entry;
    } else {
        // After the section's last key line (before trailing blank lines).
        size_t end = static_cast<size_t>(s) + 1;
        size_t insert = end;
        for (; end < lines_.size(); ++end) {
            std::string_view name;
            if (SectionName(lines_[end], name)) break;
            if (!Trim(lines_[end]).empty()) insert = end + 1;
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), entry);
    }
    return Save();
}

bool CProfileStore::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

std::vector<std::pair<std::string, std::string>> CProfileStore::Section(
    std::string_view section) const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, std::string>> out;
    int s = FindSection(section);
    if (s < 0) return out;
    for (size_t i = static_cast<size_t>(s) + 1; i < lines_.size(); ++i) {
        std::string_view name, k, v;
        if (SectionName(lines_[i], name)) break;
        if (KeyValue(lines_[i], k, v)) out.emplace_back(std::string(k), std::string(v));
    }
    return out;
}

void CProfileStore::BeginBatch() {
    std::lock_guard lock(mutex_);
    ++batchDepth_;
}

bool CProfileStore::EndBatch() {
    std::lock_guard lock(mutex_);
    if (batchDepth_ > 0) --batchDepth_;
    return dirty_ ? Save() : true;
}

bool CProfileStore::Save() {
    if (batchDepth_ > 0) {
        dirty_ = true;
        return true;
    }
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    CAtomicFile file(path_);
    bool ok = file.Open() && file.Write(text.data(), text.size()) && file.Commit();
    dirty_ = !ok;
    return ok;
}

}  // namespace vexlo
