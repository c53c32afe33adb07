// What the fuzz targets share: one application directory for the whole run
// (a temporary directory removed at exit), and writing an input as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/app_context.h"

namespace vexlo::fuzz {

// The run's application directory (ends with "/"; DATA/ exists).
const std::string& AppDir();
// A context over AppDir() with a silent message box, started once.
CAppContext& Context();
// Writes the input as the file at path (replacing it).
void WriteInput(const std::string& path, const uint8_t* data, size_t size);
// Stops the run (a crash libFuzzer records) when a property does not hold.
void Require(bool holds, const char* what);

}  // namespace vexlo::fuzz
