// Scratch folders and whole-file reads and writes, for tests that work on
// real files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvid::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes (also when a test took away its write
// permission).
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of Name inside the folder.
  std::string File(const std::string& Name) const { return (path_ / Name).string(); }

 private:
  std::filesystem::path path_;
};

// The bytes of the file at Path ("" when it cannot be read).
std::string ReadBytes(const std::string& Path);
// Replaces the file at Path by Text.
void WriteBytes(const std::string& Path, const std::string& Text);
// The names of the entries of Folder (hidden ones too), sorted.
std::vector<std::string> FilesIn(const std::string& Folder);

}  // namespace corvid::test
