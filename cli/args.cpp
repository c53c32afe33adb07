#include "cli/args.h"

#include <algorithm>
#include <utility>

namespace vexlo::cli {

std::string CArgs::Next(const char* what) {
    if (words_.empty()) throw CUsageError(std::string("missing ") + what);
    std::string word = words_.front();
    words_.erase(words_.begin());
    return word;
}

bool CArgs::Option(const std::string& name, std::string& value, bool allowEmpty) {
    auto it = std::find(words_.begin(), words_.end(), name);
    if (it == words_.end()) return false;
    if (it + 1 == words_.end() || (!allowEmpty && (it + 1)->empty()))
        throw CUsageError(name + " needs a value");
    value = *(it + 1);
    words_.erase(it, it + 2);
    return true;
}

bool CArgs::IntOption(const std::string& name, int& value) {
    std::string text;
    if (!Option(name, text)) return false;
    value = ParseNumber(text, name.c_str());
    return true;
}

bool CArgs::Flag(const std::string& name) {
    auto it = std::find(words_.begin(), words_.end(), name);
    if (it == words_.end()) return false;
    words_.erase(it);
    return true;
}

std::vector<std::string> CArgs::Rest() {
    for (const auto& word : words_)
        if (word.size() > 2 && word.compare(0, 2, "--") == 0)
            throw CUsageError("unknown option " + word);
    return std::exchange(words_, {});
}

int ParseNumber(const std::string& text, const char* what) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw CUsageError(std::string(what) + " must be a number: " + text);
    return std::stoi(text);
}

uint32_t ParseChannels(const std::string& text, int conn, const char* what) {
    uint32_t mask = 0;
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of(",/", start);
        std::string part = text.substr(start, end == std::string::npos ? end : end - start);
        int channel = ParseNumber(part, what);
        if (channel < 1 || channel > conn)
            throw CUsageError(std::string(what) + ": channel " + part +
                              " does not exist (Conn is " + std::to_string(conn) + ")");
        mask |= 1u << (channel - 1);
        if (end == std::string::npos) return mask;
        start = end + 1;
    }
}

}  // namespace vexlo::cli
