// A recording stand-in for the command interpreter.
#include "fake_interpreter.h"

#include <filesystem>
#include <system_error>

#include "test_support.h"

namespace fs = std::filesystem;

CommandRunner FakeInterpreter::Runner() {
  return [this](const std::string& line) {
    lines.push_back(line);
    std::error_code ignored;
    if (line == "md maps") {
      fs::create_directory("maps", ignored);
    } else if (line == "zip -r ./sc_loadout.pk3 ./maps") {
      zip_ran = true;
      script_at_zip = ReadFile("maps/_loadout.gsc");
      return zip_status;
    } else if (line == "del maps\\_loadout.gsc") {
      fs::remove("maps/_loadout.gsc", ignored);
    } else if (line == "rd maps") {
      fs::remove("maps", ignored);  // only while it is empty
    }
    return 0;
  };
}

std::vector<std::string> ExpectedPackagingLines() {
#ifdef _WIN32
  return {"zip -r ./sc_loadout.pk3 ./maps", "del maps\\_loadout.gsc",
          "rd maps"};
#else
  // The directory work is done directly; only zip goes through the shell.
  return {"zip -r ./sc_loadout.pk3 ./maps"};
#endif
}

std::vector<std::string> ExpectedInterpreterLines() {
  std::vector<std::string> lines = ExpectedPackagingLines();
#ifdef _WIN32
  lines.insert(lines.begin(), "md maps");
#endif
  return lines;
}
