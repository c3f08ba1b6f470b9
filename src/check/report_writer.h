#pragma once

#include <cstdint>
#include <string_view>

#include "platform/system.h"

namespace sealmark {

// Writes the report item by item, one system write per item and per line
// end, with no buffering of its own. A writer whose file could not be
// created stays closed, and on a closed writer every operation does nothing.
class ReportWriter {
 public:
  explicit ReportWriter(System& system) : system_(system) {}
  ~ReportWriter() { Close(); }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  // Creates the file `name` or cuts an existing one to nothing. The file is
  // held with no sharing until it is closed. A link under that name, or a
  // file with a further name, is left as it is and the writer stays closed.
  void Create(std::string_view name);

  // Appends the bytes of `text` as they are.
  void Write(std::string_view text);

  // Appends the count item of `count` (" 12 ").
  void WriteCount(std::int32_t count);

  // Appends CR LF.
  void EndLine();

  // Ends the file at the current position and closes it.
  void Close();

 private:
  System& system_;
  FileHandle file_ = FileHandle::kNone;
  bool disk_ = false;
};

}  // namespace sealmark
