#pragma once

#include "core/day_history.h"

#include <optional>
#include <string>
#include <string_view>

namespace orbel {

// "--history [DAYS]": prints the record's header and its rows of the last DAYS days (14 when
// not given), today included, oldest first, tab-separated with minutes to one decimal. A day
// without a row is not printed. Needs no display and no running agent. 0 when printed; 2, with
// a message on stderr, when the argument after the switch is not a number of days; 1 when the
// file is there but cannot be read.
int runHistorySwitch(int argc, char** argv);

// The printed text: the header, then the rows dated `first` or later.
std::string historyReport(const DayHistory& days, std::string_view first);

// A number of days as given on the command line: plain decimal digits, at least 1.
std::optional<long> parseDays(std::string_view text);

} // namespace orbel
