// The kit's record of the user's settings that a run changes, kept in the
// registry until the run has put them back, so that a run cut short at any
// point leaves the next one what it needs to put them back; its layout and
// the order of its writes are in record_layout.h.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/record_layout.h"
#include "platform/windows_api.h"

namespace sealmark::kit {

// What a step of the record printed: what it put back, what it kept.
using Lines = std::vector<std::string>;

// What putting back did, and whether all that the kit set is back: where
// it is not, the record is kept for the next run.
struct PutBackReport {
  Lines lines;
  bool done = true;
};

// A registry key as it was before the tests, kept in the record.
class SavedKey {
 public:
  SavedKey(HKEY root, std::wstring path);

  // The record that an earlier run left of this key: none where it left
  // none; whether it is whole.
  std::optional<bool> EarlierRecordIsWhole() const;
  // Writes how the key is now; false where it cannot be read or written.
  bool Save() const;
  // Notes that the kit is about to set the value `name` to `text`; whether
  // the note is on disk.
  bool NoteSet(const std::wstring& name, const std::wstring& text) const;
  // Puts back each value that holds a text that the kit set, or that the
  // kit set and a test removed, and removes the key where it was not there
  // and nothing else is in it.
  PutBackReport PutBack() const;
  // Removes the record, once the key is on disk as it is.
  void Forget() const;

  // As the console names it: HKCU\Control Panel\International.
  std::string Name() const;
  std::string RecordName() const;

 private:
  bool KitSet(const std::wstring& name, const std::wstring& text) const;
  bool Restore(HKEY key, const std::wstring& name,
               const std::pair<DWORD, std::string>& value) const;

  HKEY root_;
  std::wstring path_;
  std::wstring record_;
};

// What the tests change in the user's settings: the regional settings (the
// short date format), and under Wine the Windows version that it reports
// to a program.
class UserSettings {
 public:
  UserSettings();
  const std::vector<SavedKey>& keys() const { return keys_; }
  PutBackReport PutBack() const;

 private:
  std::vector<SavedKey> keys_;
};

// Makes the recorder the program that opens .txt files: in the current
// user's classes on Windows, never the machine's, and never through the
// user's own choice of program, which Windows keeps with a hash that no
// other program can make; under Wine, which reads file types from the
// machine's classes alone, in those. The files it opens are kept out of
// the user's recent documents. `txt`, TxtKey(), must be saved first, and
// is put back after RemoveTheRecorder(). False, and nothing set, where the
// note of it cannot be written.
bool SetTheRecorder(const SavedKey& txt, const std::filesystem::path& recorder);
void RemoveTheRecorder();
SavedKey TxtKey();

// Makes the record's own key, and HKEY_CURRENT_USER\Software\Sealmark
// where it is not there, marked as the kit's; removes the record's key
// again where nothing is left in it, and that key where the kit made it
// and nothing is left in it.
void MakeTheRecord();
void RemoveTheRecord();

}  // namespace sealmark::kit
