#include "host/date_text.h"

#include <cstdio>

namespace sealmark {

std::string FileTimeStampText(System& system, std::uint64_t lastWriteTime) {
  const auto fields = system.UtcCalendarTime(lastWriteTime);
  if (!fields) {
    return {};
  }
  return system.ShortDateText(*fields) + " " + TimeOfDayText(fields->hour, fields->minute);
}

std::string FileDateText(System& system, std::uint64_t lastWriteTime) {
  return CutDateText(FileTimeStampText(system, lastWriteTime));
}

// Only the character 32 counts as a blank here: tabs and no-break spaces
// belong to the text.
std::string CutDateText(const std::string& stampText) {
  const std::size_t first = stampText.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  const std::size_t last = stampText.find_last_not_of(' ');
  const std::string trimmed = stampText.substr(first, last - first + 1);
  const std::size_t blank = trimmed.find(' ');
  return blank == std::string::npos ? std::string() : trimmed.substr(0, blank + 1);
}

std::string TimeOfDayText(unsigned hour, unsigned minute) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u", hour % 100, minute % 100);
  return text;
}

std::string RunDateText(System& system) {
  return RunDateTextOf(system.LocalTime());
}

// The year has four digits, and more only past 9999.
std::string RunDateTextOf(const CalendarTime& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u-%02u-%04u", date.month % 100, date.day % 100, date.year);
  return text;
}

}  // namespace sealmark
