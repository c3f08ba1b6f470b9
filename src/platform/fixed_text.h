#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace sealmark {

// An 8-bit text of at most kCapacity bytes, held inside the object: making
// one never asks for memory, so it cannot fail part-way. A text that would
// be longer is not made; it is the empty text, as every text that cannot be
// made is.
template <std::size_t N>
class FixedText {
 public:
  static constexpr std::size_t kCapacity = N;

  FixedText() = default;

  // The pieces one after the other.
  FixedText(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
      size += piece.size();
    }
    if (size > N) {
      return;
    }
    for (const std::string_view piece : pieces) {
      std::copy(piece.begin(), piece.end(), chars_ + size_);
      size_ += piece.size();
    }
  }

  FixedText(std::string_view text) : FixedText({text}) {}

  const char* data() const { return chars_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  operator std::string_view() const { return {chars_, size_}; }

  friend bool operator==(const FixedText& text, std::string_view other) {
    return std::string_view(text) == other;
  }
  friend bool operator!=(const FixedText& text, std::string_view other) { return !(text == other); }

 private:
  char chars_[N] = {};
  std::size_t size_ = 0;
};

// The decimal digits of `value`, with leading zeros up to `digits` digits.
inline FixedText<20> DecimalText(std::uint64_t value, std::size_t digits = 1) {
  char text[20];
  std::size_t start = sizeof text;
  do {
    text[--start] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || (start > 0 && sizeof text - start < digits));
  return std::string_view(text + start, sizeof text - start);
}

}  // namespace sealmark
