// A recording stand-in for starting zip.
#include "fake_interpreter.h"

#include "test_support.h"

CommandRunner FakeInterpreter::Runner() {
  return [this](const std::vector<std::string>& arguments) {
    calls.push_back(arguments);
    if (!arguments.empty() && arguments[0] == "zip") {
      zip_ran = true;
      script_at_zip = ReadFile("maps/_loadout.gsc");
      return zip;
    }
    CommandResult not_found;
    not_found.kind = CommandResult::Kind::kNotFound;
    return not_found;
  };
}

std::vector<std::vector<std::string>> ExpectedZipCalls() {
  return {{"zip", "-r", "./sc_loadout.pk3", "./maps"}};
}
