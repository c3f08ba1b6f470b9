#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fixed_text.h"
#include "platform/system.h"

namespace sealmark {

// A time-stamp text: the short date, one blank and HH:MM. A date text, cut
// from it, is never longer.
using StampText = FixedText<ShortDate::kCapacity + 6>;

// The run date text: MM-DD- and a year of up to ten digits.
using RunDate = FixedText<16>;

// A file's last-write time (100-nanosecond intervals since 1 January 1601
// UTC) as the user's short date of its UTC day, one blank, and its UTC time
// of day as HH:MM. Empty when the time has no calendar date (the top bit is
// set).
StampText FileTimeStampText(System& system, std::uint64_t lastWriteTime);

// The date text of the report's Date column: the time-stamp text without
// blanks at either end, up to and including its first blank; empty when
// nothing is left or no blank is.
StampText FileDateText(System& system, std::uint64_t lastWriteTime);

// The date-text cut of FileDateText, applied to a time-stamp text.
StampText CutDateText(std::string_view stampText);

// "HH:MM", 24-hour, with leading zeros.
FixedText<5> TimeOfDayText(unsigned hour, unsigned minute);

// The run's date in the fixed form MM-DD-YYYY, whatever the locale.
RunDate RunDateText(System& system);

// MM-DD-YYYY for the given local date.
RunDate RunDateTextOf(const CalendarTime& date);

}  // namespace sealmark
