// Command-line words with option helpers. A usage error throws CUsageError,
// which main turns into exit status 2.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexlo::cli {

class CUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class CArgs {
  public:
    explicit CArgs(std::vector<std::string> words) : words_(std::move(words)) {}

    bool Empty() const { return words_.empty(); }
    // Takes the next word (a usage error when there is none).
    std::string Next(const char* what);
    // Removes "--name VALUE" and returns true with the value when present.
    // An empty value is a usage error unless `allowEmpty`.
    bool Option(const std::string& name, std::string& value, bool allowEmpty = true);
    bool IntOption(const std::string& name, int& value);
    // Removes "--name" and tells whether it was present.
    bool Flag(const std::string& name);
    // The remaining words; an unknown "--option" among them is a usage error.
    std::vector<std::string> Rest();

  private:
    std::vector<std::string> words_;
};

// A decimal number or a usage error.
int ParseNumber(const std::string& text, const char* what);

// Channels as "1,2,5" (or "1/2/5", as the queue shows them) -> the affinity
// mask; a usage error for anything else or a channel beyond the `conn`
// channels configured.
uint32_t ParseChannels(const std::string& text, int conn, const char* what);

}  // namespace vexlo::cli
