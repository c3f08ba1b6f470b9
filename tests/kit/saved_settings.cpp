#include "kit/saved_settings.h"

#include <map>
#include <utility>

#include "kit/kit_text.h"
// After <windows.h>.
#include <shlobj.h>

#include "support/platform.h"

namespace sealmark::kit {

namespace {

using sealmark::test::RunsUnderWine;

constexpr wchar_t kOwnKey[] = L"Software\\Sealmark";
// The value that marks HKEY_CURRENT_USER\Software\Sealmark as made by the kit.
constexpr wchar_t kMadeByTheKit[] = L"Made by the test kit";
// The file type that opens .txt files while the tests run, and its key.
constexpr wchar_t kRecorderTypeName[] = L"Sealmark.TestRecorder";
const std::wstring kRecorderType = std::wstring(L"Software\\Classes\\") + kRecorderTypeName;
constexpr wchar_t kTxt[] = L"Software\\Classes\\.txt";
constexpr wchar_t kInternational[] = L"Control Panel\\International";
constexpr wchar_t kShortDate[] = L"sShortDate";

// The values of a registry key, by name: their type and bytes.
using Values = std::map<std::wstring, std::pair<DWORD, std::string>>;

bool KeyIsThere(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// How many subkeys and values the key `path` holds; none where it cannot
// be read.
std::optional<std::pair<DWORD, DWORD>> SizeOf(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD subkeys = 0;
  DWORD values = 0;
  const bool read = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                     &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return read ? std::optional(std::pair(subkeys, values)) : std::nullopt;
}

std::optional<DWORD> NumberIn(const std::wstring& path, const wchar_t* name) {
  DWORD number = 0;
  DWORD size = sizeof number;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &number,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return number;
}

bool SetNumber(const std::wstring& path, const wchar_t* name, DWORD number) {
  return RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, REG_DWORD, &number,
                         sizeof number) == ERROR_SUCCESS;
}

// The values of the key `path`: none where the key is not there; nothing
// where one of them cannot be read.
std::optional<Values> ValuesOf(HKEY root, const std::wstring& path) {
  Values values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return values;
  }
  DWORD count = 0;
  DWORD longestName = 0;
  DWORD largest = 0;
  bool whole = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                &longestName, &largest, nullptr, nullptr) == ERROR_SUCCESS;
  std::vector<wchar_t> name(longestName + 1);
  std::string data(largest, '\0');
  for (DWORD index = 0; whole && index < count; ++index) {
    DWORD units = longestName + 1;
    DWORD size = largest;
    DWORD type = 0;
    whole = RegEnumValueW(key, index, name.data(), &units, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS;
    values[std::wstring(name.data(), units)] = {type, data.substr(0, size)};
  }
  RegCloseKey(key);
  return whole ? std::optional<Values>(values) : std::nullopt;
}

// Writes each of `values` into the key `path`, made where it is not there.
bool WriteValues(HKEY root, const std::wstring& path, const Values& values) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool written = true;
  for (const auto& [name, value] : values) {
    written = written && RegSetValueExW(key, name.c_str(), 0, value.first,
                                        reinterpret_cast<const BYTE*>(value.second.data()),
                                        static_cast<DWORD>(value.second.size())) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return written;
}

// The text of a REG_SZ value, without its closing null; none for another type.
std::optional<std::wstring> TextOf(const std::pair<DWORD, std::string>& value) {
  if (value.first != REG_SZ) {
    return std::nullopt;
  }
  std::wstring text(reinterpret_cast<const wchar_t*>(value.second.data()),
                    value.second.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') {
    text.pop_back();
  }
  return text;
}

std::string ValueName(const std::wstring& name) {
  return name.empty() ? "(default)" : Narrow(name);
}

void SetDefaultText(HKEY root, const std::wstring& path, const std::wstring& text) {
  RegSetKeyValueW(root, path.c_str(), nullptr, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

SavedKey::SavedKey(HKEY root, std::wstring path)
    : root_(root),
      path_(std::move(path)),
      record_(RecordOf(kRecord, root_ == HKEY_LOCAL_MACHINE, path_)) {}

std::optional<bool> SavedKey::EarlierRecordIsWhole() const {
  if (!KeyIsThere(HKEY_CURRENT_USER, record_)) {
    return std::nullopt;
  }
  return NumberIn(record_, kRecordWhole) == DWORD{1};
}

// In the order that record_layout.h gives, each step on disk before the next.
bool SavedKey::Save() const {
  const std::optional<Values> values = ValuesOf(root_, path_);
  return values && WriteValues(HKEY_CURRENT_USER, record_ + L"\\" + kRecordValues, *values) &&
         SetNumber(record_, kRecordWasThere, KeyIsThere(root_, path_) ? 1 : 0) &&
         RegFlushKey(HKEY_CURRENT_USER) == ERROR_SUCCESS && SetNumber(record_, kRecordWhole, 1) &&
         RegFlushKey(HKEY_CURRENT_USER) == ERROR_SUCCESS;
}

bool SavedKey::NoteSet(const std::wstring& name, const std::wstring& text) const {
  return kit::NoteSet(record_, name, text);
}

// Whether the kit noted that it set the value `name` of the key to `text`;
// the notes' names are compared exactly, not as the registry compares
// names, without regard to case.
bool SavedKey::KitSet(const std::wstring& name, const std::wstring& text) const {
  const std::optional<Values> notes = ValuesOf(HKEY_CURRENT_USER, NotesOf(record_, name));
  return notes && notes->count(text) == 1;
}

PutBackReport SavedKey::PutBack() const {
  const std::wstring kept = record_ + L"\\" + kRecordValues;
  const std::optional<Values> before =
      KeyIsThere(HKEY_CURRENT_USER, kept) ? ValuesOf(HKEY_CURRENT_USER, kept) : std::nullopt;
  if (!before) {
    return {{"  not put back: " + RecordName() + " cannot be read"}, false};
  }
  PutBackReport report;
  HKEY key = nullptr;
  if (KeyIsThere(root_, path_) &&
      RegOpenKeyExW(root_, path_.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
    return {{"  not put back: " + Name() + " cannot be written"}, false};
  }
  const auto note = [&report](bool done, const std::string& line) {
    report.lines.push_back(done ? line : "  not put back: " + line.substr(2) + " failed");
    report.done = report.done && done;
  };
  // SetLocaleInfoW, which puts back the short date format, sets iDate and
  // others beside it: the short date goes first, and the rest is judged
  // as it is after that.
  std::optional<Values> now;
  for (const bool shortDate : {true, false}) {
    now = ValuesOf(root_, path_);
    if (!now) {
      report.lines.push_back("  not put back: " + Name() + " cannot be read");
      report.done = false;
      break;
    }
    for (const auto& [name, value] : *now) {
      const auto was = before->find(name);
      const std::string named = Name() + " " + ValueName(name);
      if ((name == kShortDate) != shortDate || (was != before->end() && was->second == value)) {
        continue;
      }
      const std::optional<std::wstring> text = TextOf(value);
      if (!text || !KitSet(name, *text)) {
        report.lines.push_back("  kept " + named + ": the kit did not set what it holds");
      } else if (was == before->end()) {
        note(RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS,
             "  removed " + named + ", which was not there");
      } else {
        note(Restore(key, name, was->second), "  put back " + named);
      }
    }
  }
  // A value that the kit set and a test then removed.
  for (const auto& [name, value] : *before) {
    if (key != nullptr && now && now->count(name) == 0 &&
        KeyIsThere(HKEY_CURRENT_USER, NotesOf(record_, name))) {
      note(Restore(key, name, value), "  put back " + Name() + " " + ValueName(name));
    }
  }
  if (key != nullptr) {
    RegCloseKey(key);
  }
  if (NumberIn(record_, kRecordWasThere) == DWORD{0} &&
      SizeOf(root_, path_) == std::pair<DWORD, DWORD>(0, 0)) {
    note(RegDeleteKeyW(root_, path_.c_str()) == ERROR_SUCCESS,
         "  removed " + Name() + ", which was not there");
  }
  return report;
}

// Gives the value `name` of the open `key` the type and bytes `value`.
bool SavedKey::Restore(HKEY key, const std::wstring& name,
                       const std::pair<DWORD, std::string>& value) const {
  // The system's own cache of the regional settings follows SetLocaleInfoW alone.
  const std::optional<std::wstring> text = TextOf(value);
  if (root_ == HKEY_CURRENT_USER && path_ == kInternational && name == kShortDate && text &&
      !SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, text->c_str())) {
    return false;
  }
  return RegSetValueExW(key, name.c_str(), 0, value.first,
                        reinterpret_cast<const BYTE*>(value.second.data()),
                        static_cast<DWORD>(value.second.size())) == ERROR_SUCCESS;
}

// What was put back goes to disk before the record that would put it back
// goes: the key may be in another hive than the record, which Windows may
// write first.
void SavedKey::Forget() const {
  for (std::wstring path = path_;; path.resize(path.rfind(L'\\'))) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegFlushKey(key);
      RegCloseKey(key);
      break;
    }
    if (path.find(L'\\') == std::wstring::npos) {
      RegFlushKey(root_);
      break;
    }
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, record_.c_str());
}

std::string SavedKey::Name() const {
  return (root_ == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\") + Narrow(path_);
}

std::string SavedKey::RecordName() const {
  return "HKCU\\" + Narrow(record_);
}

UserSettings::UserSettings() {
  keys_.emplace_back(HKEY_CURRENT_USER, kInternational);
  if (RunsUnderWine()) {
    for (const wchar_t* program : {L"Sealmark.exe", L"os_text_probe.exe"}) {
      keys_.emplace_back(HKEY_CURRENT_USER,
                         std::wstring(L"Software\\Wine\\AppDefaults\\") + program);
    }
  }
}

PutBackReport UserSettings::PutBack() const {
  PutBackReport report;
  for (const SavedKey& key : keys_) {
    const PutBackReport more = key.PutBack();
    report.lines.insert(report.lines.end(), more.lines.begin(), more.lines.end());
    report.done = report.done && more.done;
  }
  return report;
}

SavedKey TxtKey() {
  return {RunsUnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kTxt};
}

bool SetTheRecorder(const SavedKey& txt, const std::filesystem::path& recorder) {
  const HKEY root = RunsUnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  RegDeleteTreeW(root, kRecorderType.c_str());
  if (!txt.NoteSet(L"", kRecorderTypeName)) {
    return false;
  }
  SetDefaultText(root, kTxt, kRecorderTypeName);
  SetDefaultText(root, kRecorderType + L"\\shell\\open\\command",
                 L"\"" + recorder.wstring() + L"\" \"%1\"");
  RegSetKeyValueW(root, kRecorderType.c_str(), L"NoRecentDocs", REG_SZ, L"", sizeof(wchar_t));
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return true;
}

void RemoveTheRecorder() {
  const HKEY root = RunsUnderWine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  RegDeleteTreeW(root, kRecorderType.c_str());
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

// Where the kit makes HKEY_CURRENT_USER\Software\Sealmark, one call makes
// it with its mark: no run cut short leaves a key of the kit's that looks
// like the user's. (The key's class would be a mark made with the key
// itself, but Wine loses it as the keys below change.)
void MakeTheRecord() {
  if (!KeyIsThere(HKEY_CURRENT_USER, kOwnKey)) {
    SetNumber(kOwnKey, kMadeByTheKit, 1);
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRecord, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

void RemoveTheRecord() {
  if (SizeOf(HKEY_CURRENT_USER, kRecord) == std::pair<DWORD, DWORD>(0, 0) &&
      RegDeleteKeyW(HKEY_CURRENT_USER, kRecord) == ERROR_SUCCESS &&
      NumberIn(kOwnKey, kMadeByTheKit) == DWORD{1} &&
      SizeOf(HKEY_CURRENT_USER, kOwnKey) == std::pair<DWORD, DWORD>(0, 1)) {
    RegDeleteKeyW(HKEY_CURRENT_USER, kOwnKey);
  }
}

}  // namespace sealmark::kit
