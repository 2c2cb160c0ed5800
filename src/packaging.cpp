// The staging directory `maps` and the archive sc_loadout.pk3.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "loadout.h"

// Everything that differs between Windows and POSIX lives in this region.
#ifdef _WIN32

namespace {

void MakeStagingDirectory(const CommandRunner& run) { run("md maps"); }

void RemoveStagedScript(const CommandRunner& run) {
  run("del maps\\_loadout.gsc");
}

void RemoveStagingDirectory(const CommandRunner& run) { run("rd maps"); }

// std::system hands back the interpreter's exit code as it is.
int DecodeSystemStatus(int status) { return status; }

}  // namespace

// cmd.exe answers 9009 for a program it cannot find.
const int kCommandNotFoundStatus = 9009;

#else

#include <sys/wait.h>

#include <filesystem>
#include <system_error>

namespace {

// The POSIX shell has no md, del or rd: the same effects, quietly, where the
// directory exists already or is not empty.
void MakeStagingDirectory(const CommandRunner&) {
  std::error_code ignored;
  std::filesystem::create_directory(kStagingDirectory, ignored);
}

void RemoveStagedScript(const CommandRunner&) {
  std::error_code ignored;
  std::filesystem::remove(kScriptPath, ignored);
}

void RemoveStagingDirectory(const CommandRunner&) {
  // remove() deletes a directory only while it is empty. A `maps` that is a
  // link to a directory elsewhere is the user's and stays.
  std::error_code ignored;
  if (std::filesystem::is_directory(
          std::filesystem::symlink_status(kStagingDirectory, ignored))) {
    std::filesystem::remove(kStagingDirectory, ignored);
  }
}

// std::system hands back a wait status.
int DecodeSystemStatus(int status) {
  if (status == -1) {
    return kCommandNotStarted;
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  if (WIFSIGNALED(status)) {
    return 128 + WTERMSIG(status);
  }
  return status;
}

}  // namespace

// sh answers 127 for a program it cannot find.
const int kCommandNotFoundStatus = 127;

#endif

namespace {

constexpr char kZipCommand[] = "zip -r ./sc_loadout.pk3 ./maps";

}  // namespace

int RunCommand(const std::string& command_line) {
  // The child writes to the same console: ours must be out first.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  return DecodeSystemStatus(std::system(command_line.c_str()));
}

void PrepareStagingDirectory(const CommandRunner& run) {
  MakeStagingDirectory(run);
}

bool PackageLoadout(std::string* why, const CommandRunner& run) {
  const int status = run(kZipCommand);
  if (status != 0) {
    if (status == kCommandNotStarted) {
      *why = "the command interpreter could not be started";
    } else if (status == kCommandNotFoundStatus) {
      *why = "the zip program was not found (status " + std::to_string(status) +
             ")";
    } else {
      *why = "zip exited with status " + std::to_string(status);
    }
    return false;
  }
  RemoveStagedScript(run);
  RemoveStagingDirectory(run);
  return true;
}
