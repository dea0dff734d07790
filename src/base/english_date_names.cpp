#include "base/english_date_names.h"

namespace quor {

const char* EnglishDayName(int weekday) {
  static constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return kDayNames[((weekday % 7) + 7) % 7];
}

const char* EnglishMonthName(int month) {
  static constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return kMonthNames[((month % 12) + 12) % 12];
}

}  // namespace quor
