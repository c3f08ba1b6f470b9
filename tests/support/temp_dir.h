#pragma once

#include <filesystem>
#include <string>

namespace sealmark::test {

// A fresh, empty folder below the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Makes `path` the current folder for as long as the object lives.
class CurrentDir {
 public:
  explicit CurrentDir(const std::filesystem::path& path);
  ~CurrentDir();
  CurrentDir(const CurrentDir&) = delete;
  CurrentDir& operator=(const CurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

// A path below `folder` of `length` characters, of names of up to 100
// characters; the folders that hold its last name are made.
std::filesystem::path DeepPath(std::filesystem::path folder, std::size_t length);

// The whole content of the file at `path`, or the empty text when it cannot
// be read.
std::string FileContent(const std::filesystem::path& path);

// Replaces the file at `path` with `content`.
void WriteFileContent(const std::filesystem::path& path, const std::string& content);

}  // namespace sealmark::test
