#include <ctime>
#include <limits>

#include "host/date_text.h"

namespace sealmark {

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

}  // namespace

// The user's short date is the date format of the LC_TIME locale (%x).
std::string FileTimeStampText(std::uint64_t lastWriteTime) {
  if (lastWriteTime > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return {};
  }
  const std::time_t seconds =
      static_cast<std::time_t>(lastWriteTime / 10'000'000u) - kSecondsFrom1601To1970;
  std::tm fields{};
  if (gmtime_r(&seconds, &fields) == nullptr) {
    return {};
  }
  char date[50];
  const std::size_t length = std::strftime(date, sizeof date, "%x", &fields);
  return std::string(date, length) + " " +
         TimeOfDayText(static_cast<unsigned>(fields.tm_hour), static_cast<unsigned>(fields.tm_min));
}

std::string RunDateText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return RunDateTextOf(static_cast<unsigned>(local.tm_year + 1900),
                       static_cast<unsigned>(local.tm_mon + 1),
                       static_cast<unsigned>(local.tm_mday));
}

}  // namespace sealmark
