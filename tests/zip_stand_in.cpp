// A zip.exe for the end-to-end tests on Windows. The test puts it first on
// PATH as bin\zip.exe, with bin\zip.cfg beside it:
//
//   line 1: the directory to record into
//   line 2: "exit N" -- say kStandInSays, leave an empty archive, exit with N
//           "host"   -- run the host's real zip (under Wine) and pass on its
//                       output and exit status
//
// Before that it records, in that directory: cmdline (its command line as
// received), args (one argument a line), cwd, maps (a copy of ./maps as it
// is now) and open ("1" if some process still holds maps\_loadout.gsc open
// without sharing it, else "0").
// Built on Windows only (tests/CMakeLists.txt); elsewhere this file is
// empty, for tools that read every source.
#ifdef _WIN32

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "wine_host.h"

namespace fs = std::filesystem;

namespace {

constexpr int kStandInFailed = 125;

void Record(const fs::path& directory, const std::string& name,
            const std::string& bytes) {
  std::ofstream file(directory / name,
                     std::ios_base::binary | std::ios_base::trunc);
  file << bytes;
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream file(path, std::ios_base::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Asking for the script without sharing it fails while any other handle to
// it is open, such as one the program above us has not closed yet.
bool ScriptHeldOpen() {
  const HANDLE file =
      CreateFileA("maps\\_loadout.gsc", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION;
  }
  CloseHandle(file);
  return false;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "tarvelin: zip stand-in: %s\n", what.c_str());
  return kStandInFailed;
}

// Runs the host's zip with our arguments in our directory and hands on what
// it printed, through our own (text mode) streams as a Windows zip would.
int RunHostZip(int argc, char** argv, const fs::path& record) {
  const fs::path output = record / "host-zip.out";
  const fs::path errors = record / "host-zip.err";
  std::string script =
      "cd " + HostQuoted(fs::current_path()) + " || exit 125\n/usr/bin/zip";
  for (int i = 1; i < argc; ++i) {
    std::string quoted = "'";
    for (const char* c = argv[i]; *c != '\0'; ++c) {
      quoted += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
    }
    script += " " + quoted + "'";
  }
  script += " >" + HostQuoted(output) + " 2>" + HostQuoted(errors);
  std::string why;
  const int status = RunHostShell(script, record, &why);
  if (status < 0) {
    return Fail(why);
  }
  std::fputs(ReadWhole(output).c_str(), stdout);
  std::fputs(ReadWhole(errors).c_str(), stderr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  char own_name[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, own_name, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    return Fail("cannot find my own file name");
  }
  std::ifstream config(fs::path(own_name).replace_extension(".cfg"));
  std::string record_line;
  std::string mode;
  if (!std::getline(config, record_line) || !std::getline(config, mode)) {
    return Fail("cannot read zip.cfg beside zip.exe");
  }
  const fs::path record = record_line;

  Record(record, "cmdline", std::string(GetCommandLineA()) + "\n");
  std::string args;
  for (int i = 1; i < argc; ++i) {
    args += std::string(argv[i]) + "\n";
  }
  Record(record, "args", args);
  Record(record, "cwd", fs::current_path().string() + "\n");
  std::error_code error;
  if (fs::is_directory("maps", error)) {
    fs::copy("maps", record / "maps", fs::copy_options::recursive, error);
    if (error) {
      return Fail("cannot copy maps: " + error.message());
    }
  }
  Record(record, "open", ScriptHeldOpen() ? "1\n" : "0\n");

  if (mode == "host") {
    return RunHostZip(argc, argv, record);
  }
  int status = 0;
  if (std::sscanf(mode.c_str(), "exit %d", &status) != 1) {
    return Fail("unknown mode \"" + mode + "\" in zip.cfg");
  }
  std::puts("stand-in zip: packing");
  Record(".", "sc_loadout.pk3", "");
  return status;
}

#endif  // _WIN32
