#include "platform/system_win32.h"

// <shellapi.h> and <winioctl.h> need <windows.h> first.
#include <shellapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "platform/guarded_call.h"
#include "platform/system_libraries_win32.h"

namespace sealmark {

namespace {

static_assert(kAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(IsReparseTagNameSurrogate(IO_REPARSE_TAG_SYMLINK) == kReparseTagNameSurrogate);
static_assert(sizeof(FindRecord) == sizeof(WIN32_FIND_DATAW));
static_assert(offsetof(FindRecord, lastWriteTime) == offsetof(WIN32_FIND_DATAW, ftLastWriteTime));
static_assert(offsetof(FindRecord, name) == offsetof(WIN32_FIND_DATAW, cFileName));

// Opens use at most this many UTF-16 units of a path in the current folder,
// lookups one more. A path in the folder for temporary files is used whole,
// and only where it is no longer than any path may be, MAX_PATH with its NUL.
constexpr int kOpenPathLimit = 255;
constexpr int kFindPathLimit = 256;
constexpr int kLongestPath = MAX_PATH - 1;
// The longest form of a path in the current folder: "\\?\UNC", the current
// folder, "\" and the path.
constexpr std::size_t kLongestForm = 7 + MAX_PATH + 1 + MAX_PATH;
// The longest full path of a file in the current folder that the shell is
// asked to open. Wine 8's shell opens such a file up to 255 units and fails
// from 256 on; Windows' shell32 copies paths into buffers of MAX_PATH units,
// with quotes and a NUL beside them. 250 leaves a margin on both.
constexpr std::size_t kShellPathLimit = 250;

// `path` in UTF-16 at `units`, which has room for `room` units; how many it
// takes, 0 when it does not fit. No byte of an ANSI code page gives more
// than one unit.
int WideUnits(std::string_view path, wchar_t* units, int room) {
  if (room <= 0 || path.size() > static_cast<std::size_t>(room)) {
    return 0;
  }
  return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.data(), static_cast<int>(path.size()),
                             units, room);
}

// The user's folder for temporary files, ending in "\", at the start of
// `units`, which has room for MAX_PATH + 1; how many units it takes, 0 when
// it cannot be had. Kernel32 is not shown to export GetTempPathW on Windows
// 98, where the program must start to refuse, so it is bound at run time.
int TemporaryFolder(wchar_t* units) {
  const auto getTempPath = KernelEntryPoint<decltype(&GetTempPathW)>("GetTempPathW");
  const DWORD length = getTempPath != nullptr ? getTempPath(MAX_PATH + 1, units) : 0;
  return length <= MAX_PATH ? static_cast<int>(length) : 0;
}

// The current folder, held in `units`; empty when it cannot be had.
std::wstring_view CurrentFolder(wchar_t (&units)[MAX_PATH + 1]) {
  const DWORD found = GetCurrentDirectoryW(MAX_PATH + 1, units);
  return {units, found <= MAX_PATH ? found : 0};
}

// A path in UTF-16 ending in a NUL, as it is passed to the system: `path`
// in the current folder, cut to `limit` units, in its form there, or `path`
// in the folder for temporary files. The empty path, which names no file,
// when it cannot be had.
class WidePath {
 public:
  WidePath(Folder folder, std::string_view path, int limit) {
    if (folder == Folder::kCurrent) {
      wchar_t relative[MAX_PATH];
      const int units = std::min(WideUnits(path, relative, MAX_PATH), limit);
      wchar_t current[MAX_PATH + 1];
      SystemPathForm(units > 0 ? CurrentFolder(current) : std::wstring_view(),
                     {relative, static_cast<std::size_t>(units)}, units_, kLongestForm);
      return;
    }
    const int start = TemporaryFolder(units_);
    const int units = start > 0 ? WideUnits(path, units_ + start, kLongestPath - start) : 0;
    units_[units > 0 ? start + units : 0] = L'\0';
  }
  const wchar_t* c_str() const { return units_; }

 private:
  wchar_t units_[kLongestForm + 1];
};

// Whether `path` names a folder, or a link to one.
bool IsFolder(const wchar_t* path) {
  const DWORD attributes = GuardedSystemCall([&] { return GetFileAttributesW(path); }).value;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The path of the program's own file, `units` long, in memory that grows
// until the whole path fits (Windows XP cuts a path that does not fit
// without a word); null when it cannot be had.
std::unique_ptr<wchar_t[]> ProgramFile(std::size_t& units) {
  for (DWORD size = MAX_PATH + 1; size <= 0x10000; size *= 2) {
    std::unique_ptr<wchar_t[]> file(new (std::nothrow) wchar_t[size]);
    units = file ? GetModuleFileNameW(nullptr, file.get(), size) : 0;
    if (units == 0) {
      return nullptr;
    }
    if (units < size) {
      return file;
    }
  }
  return nullptr;
}

// The short date in the ANSI code page; empty when it does not fit.
ShortDate AnsiShortDate(const wchar_t* text, int units) {
  char ansi[ShortDate::kCapacity];
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text, units, ansi, sizeof ansi, nullptr, nullptr);
  return std::string_view(ansi, static_cast<std::size_t>(bytes > 0 ? bytes : 0));
}

HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file));
}

HANDLE AsHandle(SearchHandle search) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(search));
}

template <typename Handle>
Handle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE
             ? Handle::kNone
             : static_cast<Handle>(reinterpret_cast<std::intptr_t>(handle));
}

DWORD DesiredAccess(FileAccess access) {
  switch (access) {
    case FileAccess::kReadWrite:
      return GENERIC_READ | GENERIC_WRITE;
    case FileAccess::kRead:
      return GENERIC_READ;
    case FileAccess::kWrite:
      return GENERIC_WRITE;
  }
  return 0;
}

DWORD ShareMode(FileSharing sharing) {
  return sharing == FileSharing::kReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
}

// Reparse points, and the flag that opens one itself, came with Windows
// 2000; NT 4.0, which has neither, need not accept the flag. The volume
// mount points that Windows 2000 built on reparse points came with them, so
// kernel32's mount point calls tell where the flag is known, whatever
// version a compatibility setting makes the system report.
bool KnowsReparsePoints() {
  return KernelEntryPoint<decltype(&GetVolumeNameForVolumeMountPointW)>(
             "GetVolumeNameForVolumeMountPointW") != nullptr;
}

DWORD CreationDisposition(FileCreation creation) {
  return creation == FileCreation::kOpenAlways ? OPEN_ALWAYS : OPEN_EXISTING;
}

// CreateFileW of `name` in the guard, asking for an inheritable handle.
GuardedResult<HANDLE> CreateFileGuarded(const WidePath& name, DWORD access, DWORD sharing,
                                        DWORD creation, DWORD flagsAndAttributes) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return GuardedSystemCall([&] {
    return CreateFileW(name.c_str(), access, sharing, &inheritable, creation, flagsAndAttributes,
                       nullptr);
  });
}

// The tag of the file's reparse point, read from its handle; 0 when it
// cannot be read. The call fails unless the whole reparse data fits.
DWORD ReparseTag(HANDLE file) {
  alignas(DWORD) unsigned char data[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
  DWORD returned = 0;
  const auto read = GuardedSystemCall([&] {
    return DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, data, sizeof data, &returned,
                           nullptr);
  });
  DWORD tag = 0;
  if (read.value && returned >= sizeof tag) {
    std::memcpy(&tag, data, sizeof tag);
  }
  return tag;
}

CalendarTime CalendarTimeOf(const SYSTEMTIME& time) {
  return {time.wYear,   time.wMonth,  time.wDay,      time.wHour,
          time.wMinute, time.wSecond, time.wDayOfWeek};
}

SYSTEMTIME SystemTimeOf(const CalendarTime& time) {
  SYSTEMTIME fields{};
  fields.wYear = static_cast<WORD>(time.year);
  fields.wMonth = static_cast<WORD>(time.month);
  fields.wDayOfWeek = static_cast<WORD>(time.weekday);
  fields.wDay = static_cast<WORD>(time.day);
  fields.wHour = static_cast<WORD>(time.hour);
  fields.wMinute = static_cast<WORD>(time.minute);
  fields.wSecond = static_cast<WORD>(time.second);
  return fields;
}

// Systems from 6.3 on report 6.2 to a program without an application
// manifest; the kernel's own query tells the truth. The library and its
// entry point are checked before use: without them the first numbers stay.
void RefineWithKernelQuery(OSVERSIONINFOEXW& version) {
  const HMODULE library = LoadLibraryA("NtDll.dll");
  if (library == nullptr) {
    return;
  }
  using RtlGetVersionEntry = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const auto rtlGetVersion = EntryPoint<RtlGetVersionEntry>(library, "RtlGetVersion");
  if (rtlGetVersion != nullptr) {
    rtlGetVersion(&version);
  }
  FreeLibrary(library);
}

}  // namespace

// Any open may end at a named pipe, through a link on its path, and the
// pipe's server may then act with the rights of whoever opened it, as far
// as the open allows: without these flags, on this machine with all of
// them. Identification lets it learn who that is and nothing more. Windows
// NT has had the flags from its first version. SECURITY_SQOS_PRESENT has
// the value of FILE_FLAG_OPEN_NO_RECALL, which asks a storage filter to
// leave an offline file's data where it is while it is read, rather than
// bring it back to local storage; .NET sets the same bit on every open.
DWORD FlagsAndAttributes(FileLinks links) {
  const bool openLinkItself = links == FileLinks::kNoFollow && KnowsReparsePoints();
  return FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION |
         (openLinkItself ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
}

// Literals of a known length: the view of a bare pointer would count it with
// the C runtime's wcslen, which the program does not import.
using namespace std::string_view_literals;

namespace {

// What joins a path to `folder`: nothing where the folder is none or ends
// in "\", else "\".
std::wstring_view Separator(std::wstring_view folder) {
  return folder.empty() || folder.back() == L'\\' ? L""sv : L"\\"sv;
}

bool FromADrive(std::wstring_view path) {
  return path.size() > 2 && path[1] == L':' && path[2] == L'\\';
}

// The length of a \\?\ or \\.\ prefix before a drive or "UNC\", which a
// program started by such a path finds in its own; 0 where there is none.
std::size_t DevicePrefix(std::wstring_view path) {
  const std::wstring_view prefix = path.substr(0, 4);
  const std::wstring_view rest = path.substr(prefix.size());
  const bool device = prefix == L"\\\\?\\"sv || prefix == L"\\\\.\\"sv;
  return device && (FromADrive(rest) || rest.substr(0, 4) == L"UNC\\"sv) ? prefix.size() : 0;
}

}  // namespace

// A program that is not long-path aware passes a path of MAX_PATH units or
// more, which Windows no longer takes, in the \\?\ form, which it takes
// whole.
std::size_t WholePathForm(std::wstring_view folder, std::wstring_view path, wchar_t* form,
                          std::size_t room) {
  std::wstring_view prefix;
  const std::wstring_view separator = Separator(folder);
  if (folder.size() + separator.size() + path.size() < MAX_PATH ||
      folder.substr(0, 4) == L"\\\\?\\"sv) {
    // Taken as it is, or already whole.
  } else if (folder.substr(0, 4) == L"\\\\.\\"sv) {
    prefix = L"\\\\?\\"sv;
    folder.remove_prefix(4);
  } else if (folder.substr(0, 2) == L"\\\\"sv) {
    prefix = L"\\\\?\\UNC"sv;
    folder.remove_prefix(1);
  } else {
    prefix = L"\\\\?\\"sv;
  }
  const std::size_t units = prefix.size() + folder.size() + separator.size() + path.size();
  wchar_t* end = form;
  if (units <= room) {
    for (const std::wstring_view piece : {prefix, folder, separator, path}) {
      end = std::copy(piece.begin(), piece.end(), end);
    }
  }
  *end = L'\0';
  return static_cast<std::size_t>(end - form);
}

std::size_t SystemPathForm(std::wstring_view current, std::wstring_view path, wchar_t* form,
                           std::size_t room) {
  const bool reachesMaxPath = current.size() + Separator(current).size() + path.size() >= MAX_PATH;
  return WholePathForm(reachesMaxPath ? current : std::wstring_view(), path, form, room);
}

std::wstring_view WholeProgramFolder(wchar_t* file, std::size_t units) {
  std::wstring_view path(file, units);
  path.remove_prefix(DevicePrefix(path));
  if (path.substr(0, 4) == L"UNC\\"sv) {
    path.remove_prefix(2);
    file[path.data() - file] = L'\\';
  }
  if (!FromADrive(path) && path.substr(0, 2) != L"\\\\"sv) {
    return {};
  }
  const std::size_t folder = path.rfind(L'\\') + 1;
  file[path.data() - file + folder] = L'\0';
  return path.substr(0, folder);
}

namespace {

class Win32System final : public System {
 public:
  OpenedFile OpenFile(Folder folder, std::string_view path, FileAccess access, FileSharing sharing,
                      FileLinks links, FileCreation creation) override {
    const auto opened = CreateFileGuarded(WidePath(folder, path, kOpenPathLimit),
                                          DesiredAccess(access), ShareMode(sharing),
                                          CreationDisposition(creation), FlagsAndAttributes(links));
    // An open always that finds the file already there leaves
    // ERROR_ALREADY_EXISTS behind, so only the handle tells success. The
    // open made the file when it left no error at all: a file taken for a
    // made one skips every check, so no other error may pass for that.
    const FileHandle file = FromHandle<FileHandle>(opened.value);
    return {file,
            file != FileHandle::kNone && creation == FileCreation::kOpenAlways &&
                opened.error == ERROR_SUCCESS,
            file == FileHandle::kNone &&
                (opened.error == ERROR_FILE_NOT_FOUND || opened.error == ERROR_PATH_NOT_FOUND)};
  }

  // The folders on the path are held, so the path leads where they do. Only
  // an open that may read or write data takes part in sharing.
  FileHandle OpenFolder(FileHandle, std::string_view path) override {
    return FromHandle<FileHandle>(
        CreateFileGuarded(WidePath(Folder::kCurrent, path, kOpenPathLimit), GENERIC_READ,
                          FILE_SHARE_READ, OPEN_EXISTING,
                          FlagsAndAttributes(FileLinks::kNoFollow) | FILE_FLAG_BACKUP_SEMANTICS)
            .value);
  }

  FileHandle MakeNewFile(FileHandle, std::string_view path) override {
    return FromHandle<FileHandle>(
        CreateFileGuarded(WidePath(Folder::kCurrent, path, kOpenPathLimit),
                          GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          CREATE_NEW, FlagsAndAttributes(FileLinks::kNoFollow))
            .value);
  }

  // CreateFileW gives every handle the right to read attributes, so a
  // handle opened for writing only can be asked. The call's result decides.
  std::optional<FileFacts> FactsOf(FileHandle file) override {
    BY_HANDLE_FILE_INFORMATION information{};
    const auto got =
        GuardedSystemCall([&] { return GetFileInformationByHandle(AsHandle(file), &information); });
    if (!got.value) {
      return std::nullopt;
    }
    const DWORD attributes = information.dwFileAttributes;
    return FileFacts{
        attributes,
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ReparseTag(AsHandle(file)) : 0,
        information.nNumberOfLinks, information.dwVolumeSerialNumber,
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
  }

  bool IsDiskFile(FileHandle file) override {
    return GuardedSystemCall([&] { return GetFileType(AsHandle(file)); }).value == FILE_TYPE_DISK;
  }

  bool SeekToStart(FileHandle file) override {
    return !GuardedSystemCall([&] {
              return SetFilePointer(AsHandle(file), 0, nullptr, FILE_BEGIN);
            }).failed;
  }

  std::optional<std::uint64_t> FileSize(FileHandle file) override {
    DWORD high = 0;
    const auto low = GuardedSystemCall([&] { return GetFileSize(AsHandle(file), &high); });
    if (low.failed) {
      return std::nullopt;
    }
    return (std::uint64_t{high} << 32) | low.value;
  }

  std::optional<std::uint32_t> Read(FileHandle file, void* buffer, std::uint32_t count) override {
    DWORD arrived = 0;
    const auto read = GuardedSystemCall(
        [&] { return ReadFile(AsHandle(file), buffer, count, &arrived, nullptr); });
    if (read.failed || !read.value) {
      return std::nullopt;
    }
    return arrived;
  }

  std::optional<std::uint32_t> Write(FileHandle file, const void* data,
                                     std::uint32_t count) override {
    DWORD written = 0;
    const auto write = GuardedSystemCall(
        [&] { return WriteFile(AsHandle(file), data, count, &written, nullptr); });
    if (write.failed || !write.value) {
      return std::nullopt;
    }
    return written;
  }

  bool SetEnd(FileHandle file) override {
    const auto set = GuardedSystemCall([&] { return SetEndOfFile(AsHandle(file)); });
    return !set.failed && set.value;
  }

  bool Close(FileHandle file) override {
    const auto closed = GuardedSystemCall([&] { return CloseHandle(AsHandle(file)); });
    return !closed.failed && closed.value;
  }

  SearchHandle FindFirst(std::string_view path, FindRecord& record) override {
    const WidePath name(Folder::kCurrent, path, kFindPathLimit);
    WIN32_FIND_DATAW found{};
    const auto search = GuardedSystemCall([&] { return FindFirstFileW(name.c_str(), &found); });
    std::memcpy(&record, &found, sizeof record);
    return FromHandle<SearchHandle>(search.value);
  }

  bool FindNext(SearchHandle search, FindRecord& record) override {
    WIN32_FIND_DATAW found{};
    const bool next =
        GuardedSystemCall([&] { return FindNextFileW(AsHandle(search), &found); }).value;
    std::memcpy(&record, &found, sizeof record);
    return next;
  }

  bool CloseSearch(SearchHandle search) override {
    return GuardedSystemCall([&] { return FindClose(AsHandle(search)); }).value;
  }

  bool HoldsFolder(std::string_view name) override {
    return IsFolder(WidePath(Folder::kCurrent, name, kOpenPathLimit).c_str());
  }

  // The folder `name` in the program's folder is asked about by its whole
  // path, which from MAX_PATH on goes in the \\?\ form, as in the current
  // folder.
  bool EnterProgramFolderHolding(std::string_view name) override {
    std::size_t units = 0;
    const std::unique_ptr<wchar_t[]> file = ProgramFile(units);
    const std::wstring_view folder =
        file ? WholeProgramFolder(file.get(), units) : std::wstring_view();
    wchar_t relative[MAX_PATH];
    const int nameUnits = WideUnits(name, relative, MAX_PATH);
    wchar_t holding[kLongestForm + 1];
    if (folder.empty() || nameUnits == 0 ||
        WholePathForm(folder, {relative, static_cast<std::size_t>(nameUnits)}, holding,
                      kLongestForm) == 0 ||
        !IsFolder(holding)) {
      return false;
    }
    return GuardedSystemCall([&] { return SetCurrentDirectoryW(folder.data()); }).value;
  }

  // No byte of an ANSI code page gives more than one unit, so the name's
  // bytes count at least its units.
  bool ShellCanOpen(std::string_view name) override {
    wchar_t units[MAX_PATH + 1];
    const std::wstring_view current = CurrentFolder(units);
    return !current.empty() &&
           current.size() + Separator(current).size() + name.size() <= kShellPathLimit;
  }

  // The clock is read inside the guard, like the file calls.
  CalendarTime LocalTime() override {
    const auto now = GuardedSystemCall([] {
      SYSTEMTIME local;
      GetLocalTime(&local);
      return local;
    });
    return CalendarTimeOf(now.value);
  }

  OsVersion Version() override {
    OSVERSIONINFOEXW version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    static_assert(sizeof version == 284);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    if (version.dwMajorVersion == 6 && version.dwMinorVersion == 2) {
      RefineWithKernelQuery(version);
    }
    return {version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber, {}};
  }

  // The time is taken as UTC, bit for bit: no conversion to local time.
  std::optional<CalendarTime> UtcCalendarTime(std::uint64_t fileTime) override {
    const FILETIME time{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME fields;
    if (!FileTimeToSystemTime(&time, &fields)) {
      return std::nullopt;
    }
    return CalendarTimeOf(fields);
  }

  ShortDate ShortDateText(const CalendarTime& date) override {
    const SYSTEMTIME fields = SystemTimeOf(date);
    wchar_t text[kShortDateUnits + 1];
    const int units =
        GetDateFormatW(0, DATE_SHORTDATE, &fields, nullptr, text, kShortDateUnits + 1);
    return units > 0 ? AnsiShortDate(text, units - 1) : ShortDate();
  }

  // A name in the current folder goes to the shell after ".\": the shell
  // looks for a bare name beside the program first, where it would open, or
  // run, another folder's file. The folder for temporary files may be named
  // with characters that the ANSI code page lacks, such as a user name in
  // another script: its path goes whole, in UTF-16.
  void OpenWithShell(Folder folder, const char* name) override {
    if (folder == Folder::kCurrent) {
      const FixedText<2 + MAX_PATH> request{".\\", name, std::string_view("", 1)};
      CallSystemEntry<decltype(&ShellExecuteA)>("shell32.dll", "ShellExecuteA", nullptr, "open",
                                                request.data(), nullptr, nullptr, SW_SHOWNORMAL);
      return;
    }
    const WidePath path(folder, name, kOpenPathLimit);
    CallSystemEntry<decltype(&ShellExecuteW)>("shell32.dll", "ShellExecuteW", nullptr, L"open",
                                              path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
};

Win32System gHostSystem;

}  // namespace

System& HostSystem() {
  return gHostSystem;
}

}  // namespace sealmark
