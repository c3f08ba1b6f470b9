#include "support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace sealmark::test {

TempDir::TempDir() {
  static std::atomic<unsigned> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = std::filesystem::temp_directory_path() /
            ("sealmark-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::error_code error;
    if (std::filesystem::create_directory(path_, error)) {
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

// A shell request that a run made is served by a recorder that the
// program does not wait for: it may write its log while the folder is
// being removed, so the removal is tried again until the folder is gone.
TempDir::~TempDir() {
  std::error_code error;
  for (int attempt = 0; attempt < 50; ++attempt) {
    std::filesystem::remove_all(path_, error);
    if (!std::filesystem::exists(path_, error)) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

CurrentDir::CurrentDir(const std::filesystem::path& path)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(path);
}

CurrentDir::~CurrentDir() {
  std::error_code error;
  std::filesystem::current_path(previous_, error);
}

std::filesystem::path DeepPath(std::filesystem::path folder, std::size_t length) {
  while (folder.native().size() + 1 < length) {
    // Room for the name; a name that left one character would leave no room
    // for another.
    const std::size_t room = length - folder.native().size() - 1;
    folder /= std::string(room == 101 ? 99 : std::min<std::size_t>(100, room), 'd');
  }
  std::filesystem::create_directories(folder.parent_path());
  return folder;
}

std::string FileContent(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileContent(const std::filesystem::path& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  if (!file.flush()) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace sealmark::test
