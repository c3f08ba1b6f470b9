#include "host/date_text.h"

namespace sealmark {

StampText FileTimeStampText(System& system, std::uint64_t lastWriteTime) {
  const auto fields = system.UtcCalendarTime(lastWriteTime);
  if (!fields) {
    return {};
  }
  return {system.ShortDateText(*fields), " ", TimeOfDayText(fields->hour, fields->minute)};
}

StampText FileDateText(System& system, std::uint64_t lastWriteTime) {
  return CutDateText(FileTimeStampText(system, lastWriteTime));
}

// Only the character 32 counts as a blank here: tabs and no-break spaces
// belong to the text.
StampText CutDateText(std::string_view stampText) {
  const std::size_t first = stampText.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  const std::size_t last = stampText.find_last_not_of(' ');
  const std::string_view trimmed(stampText.data() + first, last - first + 1);
  const std::size_t blank = trimmed.find(' ');
  return blank == std::string_view::npos ? StampText()
                                         : StampText(std::string_view(trimmed.data(), blank + 1));
}

FixedText<5> TimeOfDayText(unsigned hour, unsigned minute) {
  return {DecimalText(hour % 100, 2), ":", DecimalText(minute % 100, 2)};
}

RunDate RunDateText(System& system) {
  return RunDateTextOf(system.LocalTime());
}

// The year has four digits, and more only past 9999.
RunDate RunDateTextOf(const CalendarTime& date) {
  return {DecimalText(date.month % 100, 2), "-", DecimalText(date.day % 100, 2), "-",
          DecimalText(date.year, 4)};
}

}  // namespace sealmark
