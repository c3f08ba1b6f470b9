// Stands in for the program that the shell starts to open a text file: it
// appends its arguments, one line per start, to the file that the variable
// SEALMARK_SHELL_LOG names, and does nothing when the variable is not set.
// Each is written as the whole path that a viewer started in the same
// folder would open.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
  const char* log = std::getenv("SEALMARK_SHELL_LOG");
  if (log == nullptr || *log == '\0') {
    return 0;
  }
  std::FILE* file = std::fopen(log, "ab");
  if (file == nullptr) {
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    const std::string whole = std::filesystem::absolute(argv[i], error).string();
    std::fprintf(file, i == 1 ? "%s" : " %s", whole.c_str());
  }
  std::fputc('\n', file);
  return std::fclose(file) == 0 ? 0 : 1;
}
