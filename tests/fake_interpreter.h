#pragma once

#include <string>
#include <vector>

#include "loadout.h"

// Stands in for the command interpreter: records every command line, carries
// out md, del and rd on the current directory as cmd.exe would, and answers
// the zip line with `zip_status` after taking a copy of the staged script.
struct FakeInterpreter {
  std::vector<std::string> lines;
  int zip_status = 0;
  bool zip_ran = false;
  std::string script_at_zip;

  CommandRunner Runner();
};

// The command lines the interpreter receives in a whole run on this platform.
std::vector<std::string> ExpectedInterpreterLines();

// The part of them that PackageLoadout sends: all after the md of the
// staging directory.
std::vector<std::string> ExpectedPackagingLines();
