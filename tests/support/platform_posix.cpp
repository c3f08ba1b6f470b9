#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/file_time_conversion.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace sealmark::test {

namespace {

bool SetImmutable(const std::filesystem::path& path, bool on) {
  const int descriptor = open(path.c_str(), O_RDONLY);
  if (descriptor < 0) {
    return false;
  }
  int flags = 0;
  bool done = ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(descriptor);
  return done;
}

bool Opens(const std::filesystem::path& path, int flags) {
  const int descriptor = open(path.c_str(), flags);
  if (descriptor < 0) {
    return false;
  }
  close(descriptor);
  return true;
}

}  // namespace

bool AddFileAttribute(const std::filesystem::path&, std::uint32_t) {
  return false;
}

bool HasShareModes() {
  return false;
}

bool MakeSparseFile(const std::filesystem::path& path, std::uint64_t size) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (descriptor < 0) {
    return false;
  }
  const bool done = ftruncate(descriptor, static_cast<off_t>(size)) == 0;
  return close(descriptor) == 0 && done;
}

bool SetLastWriteTime(const std::filesystem::path& path, std::uint64_t fileTime) {
  const auto seconds = PosixSecondsOfFileTime(fileTime);
  if (!seconds) {
    return false;
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*seconds), 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

ExclusiveHold::ExclusiveHold(const std::filesystem::path&) {}
ExclusiveHold::~ExclusiveHold() = default;

// Root writes through permission bits, so the immutable flag comes first;
// without the right to set it, taking the write bits away is enough.
ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path) : path_(path) {
  immutable_ = SetImmutable(path, true);
  if (!immutable_) {
    chmod(path.c_str(), 0444);
  }
  refusesWrites_ = !Opens(path, O_WRONLY);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (immutable_) {
    SetImmutable(path_, false);
  }
  chmod(path_.c_str(), 0644);
}

UnreadableFile::UnreadableFile(const std::filesystem::path& path) : path_(path) {
  chmod(path.c_str(), 0);
  refusesReads_ = !Opens(path, O_RDONLY);
}

UnreadableFile::~UnreadableFile() {
  chmod(path_.c_str(), 0644);
}

std::string MakeLink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  return error ? "no symbolic links here: " + error.message() : "";
}

bool IsLink(const std::filesystem::path& path) {
  return std::filesystem::is_symlink(path);
}

bool LoadAndFreeLibrary(const std::filesystem::path&) {
  return false;
}

ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder) {
  TempDir outputFolder;
  const std::filesystem::path output = outputFolder.path() / "output";
  std::vector<std::string> words = {program.string()};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    const int sink = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (sink < 0 || chdir(folder.c_str()) != 0 || dup2(sink, 1) < 0 || dup2(sink, 2) < 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) == 127) {
    return {-1, FileContent(output)};
  }
  return {WEXITSTATUS(status), FileContent(output), static_cast<unsigned long>(child)};
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void PrependToPath(const std::filesystem::path& folder) {
  const char* path = std::getenv("PATH");
  SetEnvironment("PATH", folder.string() + (path != nullptr ? ":" + std::string(path) : ""));
}

std::size_t ShellPathLimit() {
  return SIZE_MAX;
}

bool MakeFifo(const std::filesystem::path& path) {
  return mkfifo(path.c_str(), 0644) == 0;
}

std::string TemporaryName(const std::string& name) {
  return "sealmark-" + std::to_string(geteuid()) + "/" + name;
}

bool GiveToAnotherUser(const std::filesystem::path& path) {
  return chown(path.c_str(), geteuid() + 1, static_cast<gid_t>(-1)) == 0;
}

// LC_ALL would override LC_TIME; it is left unset afterwards.
ShortDateFormat::ShortDateFormat(const std::string& format)
    : previous_(std::setlocale(LC_TIME, nullptr)) {
  unsetenv("LC_ALL");
  setenv("LC_TIME", format.c_str(), 1);
  std::setlocale(LC_TIME, format.c_str());
}

ShortDateFormat::~ShortDateFormat() {
  setenv("LC_TIME", previous_.c_str(), 1);
  std::setlocale(LC_TIME, previous_.c_str());
}

// The C locale's date format is MM/DD/YY.
ShortDateFormat KnownDateFormat() {
  return ShortDateFormat("C");
}

std::string ExpectedDateText(const std::filesystem::path& file) {
  struct stat status {};
  if (stat(file.c_str(), &status) != 0) {
    return "?";
  }
  std::tm utc{};
  gmtime_r(&status.st_mtim.tv_sec, &utc);
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d ", utc.tm_mon + 1, utc.tm_mday,
                utc.tm_year % 100);
  return text;
}

std::string ExpectedDateTextOfTimeZero() {
  return "01/01/01 ";
}

bool RunsUnderWine() {
  return false;
}

// The e2e tests put the recorder first on PATH, as xdg-open.
std::string WhyTheShellWouldNotStartTheRecorder() {
  return {};
}

RegistryValue::RegistryValue(const std::string&, const std::string&, const std::string&) {}
RegistryValue::~RegistryValue() = default;

}  // namespace sealmark::test
