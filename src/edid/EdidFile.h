#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edid/Edid.h"

namespace corvane {

enum class EdidFileStatus { Ok, OpenFailed, FormatError };

// The file's 256 bytes: raw, or as hex text (what edid-decode, xrandr --verbose
// and hardware tools print; whitespace, "0x" prefixes and commas anywhere, a
// label line such as "EDID:" before the bytes). A base block alone (128 bytes)
// is padded with zeros to 256, and *padded says so.
// Only a regular file is read, so a pipe or device chosen by mistake neither
// blocks nor is drained. path is UTF-8 on Windows, the native bytes elsewhere.
EdidFileStatus ReadEdidFile(const std::string& path, EdidBytes& bytes, bool* padded = nullptr);

// The same for file contents already in memory.
bool ParseEdidContents(const std::vector<std::uint8_t>& contents, EdidBytes& bytes,
                       bool* padded = nullptr);

// Writes the bytes raw; false when the file could not be written whole.
bool WriteEdidFile(const std::string& path, const EdidBytes& bytes);

}  // namespace corvane
