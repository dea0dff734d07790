#pragma once
// The activity log's time stamp, "Sun Dec 06 06:29:21 2026": local time,
// English day and month names whatever the locale, the day always in two digits.

#include <ctime>
#include <string>

namespace quor {

std::string TimeStamp(std::time_t when);

}  // namespace quor
