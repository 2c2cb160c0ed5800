#pragma once

#include <filesystem>
#include <string>

// Scaffolding shared by the test binaries.

// Enters a fresh directory under the system's temporary directory for the
// life of the object. On destruction it returns to where it was and removes
// the directory, unless the current test has failed: then the directory is
// kept and its path printed, so what the program left can be looked at.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// The whole file, byte for byte; an empty string if it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Creates or replaces the file with exactly these bytes.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The program's banner and menu as it writes them, with "\n" line ends.
extern const std::string kBanner;
extern const std::string kMenu;

// The bytes the script has for the choices primary 3, secondary 6, pistol 9.
std::string ScriptFor369();
