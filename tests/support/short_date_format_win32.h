#pragma once

#include <string>

namespace sealmark::test {

// Sets the current user's short date format, as the regional settings do,
// for as long as the object lives.
class ShortDateFormat {
 public:
  explicit ShortDateFormat(const std::wstring& format);
  ~ShortDateFormat();
  ShortDateFormat(const ShortDateFormat&) = delete;
  ShortDateFormat& operator=(const ShortDateFormat&) = delete;

 private:
  std::wstring previous_;
};

}  // namespace sealmark::test
