#include "app/time_stamp.h"

#include <cstdio>

#include "base/english_date_names.h"

namespace quor {

std::string TimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", EnglishDayName(local.tm_wday),
                EnglishMonthName(local.tm_mon), local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, local.tm_year + 1900);
  return text;
}

}  // namespace quor
