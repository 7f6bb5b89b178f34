#include "platform/tables/value.h"

#include <cstdio>

#include "platform/decimal_text.h"

namespace kx::tables {

int64_t DaysFromCivil(Date d) {
  // Days since 1970-01-01 (H. Hinnant's algorithm), shifted so 0001-01-01 is day 1.
  int64_t y = d.year - (d.month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (d.month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t unixDays = era * 146097 + doe - 719468;
  return unixDays + 719163;  // 719162 days from 0001-01-01 to 1970-01-01, plus one
}

Date CivilFromDays(int64_t days) {
  int64_t z = days - 719163 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (month <= 2 ? 1 : 0)), static_cast<int>(month), static_cast<int>(day)};
}

std::string DateText(Date d) {
  char buf[32];
  if (d.year < 0)
    std::snprintf(buf, sizeof buf, "-%03d-%02d-%02d", -d.year, d.month, d.day);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string TimeText(int32_t msec) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", msec / 3600000, msec / 60000 % 60, msec / 1000 % 60,
                msec % 1000);
  return buf;
}

std::string DateTimeText(Date d, int32_t msec) {
  char buf[32];
  std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", msec / 3600000, msec / 60000 % 60, msec / 1000 % 60);
  return DateText(d) + buf;
}

std::string NumberText(double v) { return kx::DecimalText(v); }

}  // namespace kx::tables
