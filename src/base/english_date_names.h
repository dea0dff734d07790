#pragma once
// Day and month abbreviations for dates that mail headers and the activity
// log spell in English whatever the user's locale ("Sun", "Jan").

namespace quor {

// weekday: 0 Sunday ... 6 Saturday; month: 0 January ... 11 December.
const char* EnglishDayName(int weekday);
const char* EnglishMonthName(int month);

}  // namespace quor
