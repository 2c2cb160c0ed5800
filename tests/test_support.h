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

// The bytes the script has for the choices primary 3, secondary 6, pistol 9,
// from the golden file tests/golden/loadout_369.gsc. If that cannot be read,
// the current test fails and the result is empty.
std::string ScriptFor369();

// The names in a directory, sorted, joined by spaces.
std::string Listing(const std::filesystem::path& directory);

// The bytes of the entry `name` in a zip archive held in `archive`, read by
// a small reader of the tests' own (stored or deflated entries, end record
// at the very end). Adds a test failure and returns "" if there is none.
std::string EntryOf(const std::string& archive, const std::string& name);
