// The layout of the kit's record of the user's settings that a run
// changes, which the kit's runner writes and reads and the test programs
// add their notes to, and the order in which it is written.
//
// For each key, HKEY_CURRENT_USER\<kRecord>\<HKCU or HKLM>/<path, with /
// for \> holds the key's values as they were (Values), whether it was
// there at all (Was there), and last the mark that all of that is written
// (Whole). Set\<value name> (@ for the default value) holds a value named
// by each text that the kit or a test sets in that value, noted before it
// is set: a value is put back only while it holds one of those, and
// whatever else it holds, the user chose.
//
// The order keeps the record true across a power cut. Windows writes each
// hive to disk lazily and in its own order, .txt of the user's classes
// being in a hive of its own, so each step is flushed before the next:
// the values, then the mark (SavedKey::Save), then each note before the
// change that it announces (NoteSet), and what was put back before the
// record goes (SavedKey::Forget). A record without its mark was cut short
// before anything was changed; a change that is on disk has its note, and
// its record stays until what was put back is on disk.
#pragma once

#include <string>

#include "platform/windows_api.h"

namespace sealmark::kit {

// Where the record is kept, under HKEY_CURRENT_USER; the test programs
// find it in the variable SEALMARK_KIT_RECORD.
inline constexpr wchar_t kRecord[] = L"Software\\Sealmark\\Test kit";
inline constexpr wchar_t kRecordValues[] = L"Values";
inline constexpr wchar_t kRecordWasThere[] = L"Was there";
inline constexpr wchar_t kRecordWhole[] = L"Whole";
inline constexpr wchar_t kRecordNotes[] = L"Set";

// The record, in `record`, of the key `path` of HKEY_CURRENT_USER, or of
// HKEY_LOCAL_MACHINE where `machine`.
inline std::wstring RecordOf(const std::wstring& record, bool machine, std::wstring path) {
  for (wchar_t& unit : path) {
    unit = unit == L'\\' ? L'/' : unit;
  }
  return record + (machine ? L"\\HKLM/" : L"\\HKCU/") + path;
}

// The notes of what is set in the value `name` of the key whose record is
// `keyRecord`.
inline std::wstring NotesOf(const std::wstring& keyRecord, const std::wstring& name) {
  return keyRecord + L"\\" + kRecordNotes + L"\\" + (name.empty() ? L"@" : name);
}

// Notes that the value `name` is about to be set to `text`, on disk before
// it is; whether it is.
inline bool NoteSet(const std::wstring& keyRecord, const std::wstring& name,
                    const std::wstring& text) {
  return RegSetKeyValueW(HKEY_CURRENT_USER, NotesOf(keyRecord, name).c_str(), text.c_str(), REG_SZ,
                         L"", sizeof(wchar_t)) == ERROR_SUCCESS &&
         RegFlushKey(HKEY_CURRENT_USER) == ERROR_SUCCESS;
}

}  // namespace sealmark::kit
