#pragma once

#include <string>
#include <vector>

#include "loadout.h"

// Stands in for starting zip: records every call and answers with `zip`
// after taking a copy of the staged script.
struct FakeInterpreter {
  std::vector<std::vector<std::string>> calls;
  CommandResult zip;
  bool zip_ran = false;
  std::string script_at_zip;

  CommandRunner Runner();
};

// The one call a whole run makes: zip with its arguments, in the current
// directory.
std::vector<std::vector<std::string>> ExpectedZipCalls();
