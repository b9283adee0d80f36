#pragma once

#include <string_view>

namespace orbel {

// Appends one record (the line plus a line feed) to the override log at logURL, creating the
// support directory and the file when missing. Never fails visibly.
void appendLog(std::string_view line);

} // namespace orbel
