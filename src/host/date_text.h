#pragma once

#include <cstdint>
#include <string>

#include "frame/system.h"

namespace sealmark {

// A file's last-write time (100-nanosecond intervals since 1 January 1601
// UTC) as the user's short date of its UTC day, one blank, and its UTC time
// of day as HH:MM. Empty when the time has no calendar date (the top bit is
// set).
std::string FileTimeStampText(System& system, std::uint64_t lastWriteTime);

// The date text of the report's Date column: the time-stamp text without
// blanks at either end, up to and including its first blank; empty when
// nothing is left or no blank is.
std::string FileDateText(System& system, std::uint64_t lastWriteTime);

// The date-text cut of FileDateText, applied to a time-stamp text.
std::string CutDateText(const std::string& stampText);

// "HH:MM", 24-hour, with leading zeros.
std::string TimeOfDayText(unsigned hour, unsigned minute);

// The run's date in the fixed form MM-DD-YYYY, whatever the locale.
std::string RunDateText(System& system);

// MM-DD-YYYY for the given local date.
std::string RunDateTextOf(const CalendarTime& date);

}  // namespace sealmark
