#include "frame/guarded_call.h"
#include "frame/windows_api.h"
#include "host/date_text.h"

namespace sealmark {

namespace {

// The short date holds at most this many units, its terminator not counted.
constexpr int kShortDateUnits = 49;

std::wstring ShortDateText(const SYSTEMTIME& date) {
  wchar_t text[kShortDateUnits + 1];
  const int units = GetDateFormatW(0, DATE_SHORTDATE, &date, nullptr, text, kShortDateUnits + 1);
  return units > 0 ? std::wstring(text, static_cast<std::size_t>(units - 1)) : std::wstring();
}

std::string AnsiText(const std::wstring& text) {
  const int units = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), units, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

}  // namespace

// The time is taken as UTC, bit for bit: no conversion to local time.
std::string FileTimeStampText(std::uint64_t lastWriteTime) {
  const FILETIME time{static_cast<DWORD>(lastWriteTime), static_cast<DWORD>(lastWriteTime >> 32)};
  SYSTEMTIME fields;
  if (!FileTimeToSystemTime(&time, &fields)) {
    return {};
  }
  std::wstring stamp = ShortDateText(fields) + L" ";
  for (char c : TimeOfDayText(fields.wHour, fields.wMinute)) {
    stamp += static_cast<wchar_t>(c);
  }
  return AnsiText(stamp);
}

std::string RunDateText() {
  const auto now = GuardedSystemCall([] {
    SYSTEMTIME local;
    GetLocalTime(&local);
    return local;
  });
  return RunDateTextOf(now.value.wYear, now.value.wMonth, now.value.wDay);
}

}  // namespace sealmark
