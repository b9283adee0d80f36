#pragma once

#include <string_view>

namespace orbel {

// Appends one record (the line plus a line feed) to the override log at logURL, creating the
// support directory and the file when missing. Never fails visibly.
void appendLog(std::string_view line);

// appendLog that says whether the whole record reached the file. On failure the bytes already in
// the file are untouched (a failure mid-write can leave part of this record at the end).
bool tryAppendLog(std::string_view line);

} // namespace orbel
