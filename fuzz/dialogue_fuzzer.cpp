// libFuzzer target of the weapon dialogue: any bytes as the player's answers.
//
// Beyond what the sanitizers catch, every input is checked for:
// - the console output: the menu once, then only prompts and messages, in an
//   order the dialogue can produce;
// - the choices: each slot holds a code its prompt accepts, and a 0 ends the
//   dialogue (the later slots stay 0);
// - agreement with a second reading of the same input, done with strtoll:
//   the same choices and the same number of prompts at each step.
// A hang shows up as a libFuzzer timeout.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "loadout.h"

namespace {

// The texts as the player sees them, written out here on their own so that
// any change in console.cpp is a finding.
constexpr char kMenu[] =
    "\tPrimary/Secondary\n"
    "\t[1] BAR\n"
    "\t[2] M1 Carbine\n"
    "\t[3] M1 Garand\n"
    "\t[4] Thompson\n"
    "\t[5] FG-42\n"
    "\t[6] Kar 98k\n"
    "\t[7] MP-40\n\n"
    "\tPistol Only!\n"
    "\t[8] Colt .45\n"
    "\t[9] Luger\n\n"
    "\t[0] Exit Program\n\n";

enum Token : int {
  kPrimary = 1,  // the token of a prompt has the number of its slot
  kSecondary = 2,
  kPistol = 3,
  kNotSecondary,
  kNotPistol,
};

struct TokenText {
  Token token;
  const char* text;
};

constexpr TokenText kTokens[] = {
    {kPrimary, "Primary   >> "},
    {kSecondary, "Secondary >> "},
    {kPistol, "Pistol    >> "},
    {kNotSecondary, "Error: This is your primary weapon\n"},
    {kNotPistol, "Error: This is not a pistol\n"},
};

std::string Printable(const std::string& bytes, std::size_t limit) {
  std::string shown;
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (bytes.size() > limit) {
    shown += "...";
  }
  return shown;
}

[[noreturn]] void Fail(const char* what, const std::string& input,
                       const std::string& output) {
  std::fprintf(stderr,
               "dialogue_fuzzer: %s\n  slots: %d %d %d\n  input (%zu bytes): "
               "%s\n  output (%zu bytes): %s\n",
               what, slot[1], slot[2], slot[3], input.size(),
               Printable(input, 400).c_str(), output.size(),
               Printable(output, 2000).c_str());
  std::abort();
}

// What one dialogue should come to: the choices and the number of prompts
// shown for each of them.
struct Outcome {
  int choice[4] = {0, 0, 0, 0};
  int prompts[4] = {0, 0, 0, 0};
};

// Reads the next answer with strtoll in base 10 (leading whitespace, an
// optional sign, digits). A number that does not fit in an int, no number at
// all, or the end of the input is a failed read.
bool ReadWithStrtoll(const std::string& input, std::size_t* pos, int* value) {
  if (*pos >= input.size()) {
    return false;
  }
  // input is a std::string, so c_str() ends in a NUL; an embedded NUL stops
  // strtoll just as the end of the input would.
  const char* begin = input.c_str() + *pos;
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(begin, &end, 10);
  if (end == begin || errno == ERANGE || number < INT_MIN || number > INT_MAX) {
    return false;
  }
  *pos += static_cast<std::size_t>(end - begin);
  *value = static_cast<int>(number);
  return true;
}

bool AcceptedAt(int step, int code, const Outcome& so_far) {
  switch (step) {
    case kPrimary:
      return code >= 0 && code <= kLastLongArm;
    case kSecondary:
      return code >= 0 && code <= kLastLongArm && code != so_far.choice[1];
    default:
      return code == kExitProgram || code == kColt || code == kLuger;
  }
}

// The dialogue as the README tells it: each prompt is repeated until its
// answer is accepted; a 0 or a failed read ends it.
Outcome ExpectedOutcome(const std::string& input) {
  Outcome expected;
  std::size_t pos = 0;
  for (int step = kPrimary; step <= kPistol; ++step) {
    int code = 0;
    for (;;) {
      ++expected.prompts[step];
      if (!ReadWithStrtoll(input, &pos, &code)) {
        code = kExitProgram;
        break;
      }
      if (AcceptedAt(step, code, expected)) {
        break;
      }
    }
    expected.choice[step] = code;
    if (code == kExitProgram) {
      break;
    }
  }
  return expected;
}

// Splits what follows the menu into prompts and messages and checks their
// order: Primary prompts; then Secondary prompts, each after the first one
// preceded by its message; then Pistol prompts likewise. Returns the number
// of prompts of each kind.
Outcome ParseTranscript(const std::string& input, const std::string& output) {
  const std::size_t menu_size = std::strlen(kMenu);
  if (output.compare(0, menu_size, kMenu) != 0) {
    Fail("the output does not start with the menu", input, output);
  }
  Outcome seen;
  int previous = 0;  // 0: nothing yet after the menu
  std::size_t pos = menu_size;
  while (pos < output.size()) {
    const TokenText* match = nullptr;
    for (const TokenText& candidate : kTokens) {
      const std::size_t size = std::strlen(candidate.text);
      if (output.compare(pos, size, candidate.text) == 0) {
        match = &candidate;
        break;
      }
    }
    if (match == nullptr) {
      Fail("the output holds text that is neither a prompt nor a message",
           input, output);
    }
    const int token = match->token;
    bool legal = false;
    switch (token) {
      case kPrimary:
        legal = previous == 0 || previous == kPrimary;
        break;
      case kSecondary:
        legal = previous == kPrimary || previous == kNotSecondary;
        break;
      case kNotSecondary:
        legal = previous == kSecondary;
        break;
      case kPistol:
        legal = previous == kSecondary || previous == kNotPistol;
        break;
      case kNotPistol:
        legal = previous == kPistol;
        break;
      default:
        break;
    }
    if (!legal) {
      Fail("prompt or message out of order", input, output);
    }
    if (token <= kPistol) {
      ++seen.prompts[token];
    }
    previous = token;
    pos += std::strlen(match->text);
  }
  // Every message is followed by its prompt again, and the first prompt is
  // always shown.
  if (previous != kPrimary && previous != kSecondary && previous != kPistol) {
    Fail("the output does not end with a prompt", input, output);
  }
  return seen;
}

void CheckChoices(const std::string& input, const std::string& output) {
  if (slot[1] < 0 || slot[1] > kLastLongArm) {
    Fail("primary is not 0 to 7", input, output);
  }
  if (slot[2] < 0 || slot[2] > kLastLongArm) {
    Fail("secondary is not 0 to 7", input, output);
  }
  if (slot[3] != kExitProgram && slot[3] != kColt && slot[3] != kLuger) {
    Fail("pistol is not 0, 8 or 9", input, output);
  }
  if (slot[1] == kExitProgram && (slot[2] != 0 || slot[3] != 0)) {
    Fail("choices after a primary of 0", input, output);
  }
  if (slot[2] == kExitProgram && slot[3] != 0) {
    Fail("a pistol after a secondary of 0", input, output);
  }
  if (slot[2] != kExitProgram && slot[2] == slot[1]) {
    Fail("secondary equals primary", input, output);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  slot[0] = slot[1] = slot[2] = slot[3] = 0;

  std::istringstream in(input);
  std::ostringstream out;
  GetWeapons(in, out);
  const std::string output = out.str();

  CheckChoices(input, output);
  const Outcome seen = ParseTranscript(input, output);

  // The transcript must have stopped where the choices say it did.
  const int last_step = slot[1] == 0   ? kPrimary
                        : slot[2] == 0 ? kSecondary
                                       : kPistol;
  for (int step = kPrimary; step <= kPistol; ++step) {
    if ((seen.prompts[step] > 0) != (step <= last_step)) {
      Fail("the prompts shown do not match the choices", input, output);
    }
  }

  const Outcome expected = ExpectedOutcome(input);
  for (int step = kPrimary; step <= kPistol; ++step) {
    if (slot[step] != expected.choice[step]) {
      Fail("a choice differs from the strtoll reading of the input", input,
           output);
    }
    if (seen.prompts[step] != expected.prompts[step]) {
      Fail("a prompt count differs from the strtoll reading of the input",
           input, output);
    }
  }
  if (slot[0] != 0) {
    Fail("slot[0] was written", input, output);
  }
  return 0;
}
