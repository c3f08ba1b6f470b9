#include "support/short_date_format_win32.h"

#include <stdexcept>

#include "frame/windows_api.h"

namespace sealmark::test {

ShortDateFormat::ShortDateFormat(const std::wstring& format) {
  wchar_t previous[100] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, previous, 100);
  previous_ = previous;
  if (!SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format.c_str())) {
    throw std::runtime_error("cannot set the short date format");
  }
}

ShortDateFormat::~ShortDateFormat() {
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, previous_.c_str());
}

}  // namespace sealmark::test
