#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "support/program.h"
#include "support/temp_dir.h"

namespace sealmark::test {

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
  return {WEXITSTATUS(status), FileContent(output)};
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void PrependToPath(const std::filesystem::path& folder) {
  const char* path = std::getenv("PATH");
  SetEnvironment("PATH", folder.string() + (path != nullptr ? ":" + std::string(path) : ""));
}

// The stand-in takes its date format from LC_TIME: the C locale's is MM/DD/YY.
KnownDateFormat::KnownDateFormat() {
  unsetenv("LC_ALL");
  setenv("LC_TIME", "C", 1);
}

KnownDateFormat::~KnownDateFormat() = default;

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

ReportedWindowsVersion::ReportedWindowsVersion(const std::wstring&, const std::wstring&) {}
ReportedWindowsVersion::~ReportedWindowsVersion() = default;

}  // namespace sealmark::test
