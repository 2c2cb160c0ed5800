// The program driver and the weapon selection dialogue.
#include <cstdint>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>

#include "loadout.h"

int slot[4] = {0, 0, 0, 0};

namespace {

constexpr char kBanner[] = "\tTarvelin 1.1\n\t  Created by: Quellmarr\n\n";

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

constexpr char kPrimaryPrompt[] = "Primary   >> ";
constexpr char kSecondaryPrompt[] = "Secondary >> ";
constexpr char kPistolPrompt[] = "Pistol    >> ";
constexpr char kNotSecondaryMessage[] = "Error: This is your primary weapon\n";
constexpr char kNotPistolMessage[] = "Error: This is not a pistol\n";

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Reads one decimal integer the way a formatted read in the "C" locale does:
// whitespace skipped across lines, an optional sign directly followed by
// digits, the first non-digit left unread. Unlike operator>>, a failed or
// out-of-range read stores nothing (no 0, no clamped limit). Once a read has
// failed or met the end of input, the stream stays failed and every later
// read returns false at once.
bool ReadChoice(std::istream& in, std::ostream& out, int* value) {
  if (!in.good()) {
    in.setstate(std::ios_base::failbit);
    return false;
  }
  out.flush();  // the prompt must be on the console before we wait
  std::streambuf* buffer = in.rdbuf();
  if (buffer == nullptr) {
    in.setstate(std::ios_base::failbit);
    return false;
  }
  constexpr int kEnd = std::char_traits<char>::eof();
  int c = buffer->sgetc();
  while (c != kEnd && IsSpace(c)) {
    c = buffer->snextc();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = buffer->snextc();
  }
  if (c == kEnd || !IsDigit(c)) {
    in.setstate(c == kEnd ? std::ios_base::eofbit | std::ios_base::failbit
                          : std::ios_base::failbit);
    return false;
  }
  // The magnitude saturates just above the largest one allowed, so the
  // digits of a number of any length are all consumed without overflow.
  constexpr std::int64_t kLimit = 2147483648;  // magnitude of INT32_MIN
  std::int64_t magnitude = 0;
  while (c != kEnd && IsDigit(c)) {
    if (magnitude <= kLimit) {
      magnitude = magnitude * 10 + (c - '0');
    }
    c = buffer->snextc();
  }
  if (c == kEnd) {
    in.setstate(std::ios_base::eofbit);
  }
  if (magnitude > kLimit || (!negative && magnitude == kLimit)) {
    in.setstate(std::ios_base::failbit);
    return false;
  }
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

// Negative codes count as above 7, as in an unsigned comparison.
bool IsAbove(int code, std::uint32_t limit) {
  return static_cast<std::uint32_t>(code) > limit;
}

// Shows `prompt` and reads into `*choice` until `accepted` holds, writing
// `message` before each repeat. A failed read ends the prompt as if 0 had
// been typed, whatever rejected value the slot held before.
template <typename Test>
void AskFor(std::istream& in, std::ostream& out, const char* prompt,
            const char* message, int* choice, Test accepted) {
  for (;;) {
    out << prompt;
    if (!ReadChoice(in, out, choice)) {
      *choice = kExitProgram;
      return;
    }
    if (accepted(*choice)) {
      return;
    }
    out << message;
    out.flush();
  }
}

}  // namespace

void GetWeapons(std::istream& in, std::ostream& out) {
  slot[1] = slot[2] = slot[3] = kExitProgram;
  out << kMenu;

  AskFor(in, out, kPrimaryPrompt, "", &slot[1],
         [](int code) { return !IsAbove(code, kLastLongArm); });
  if (slot[1] == kExitProgram) {
    return;
  }
  AskFor(
      in, out, kSecondaryPrompt, kNotSecondaryMessage, &slot[2],
      [](int code) { return !IsAbove(code, kLastLongArm) && code != slot[1]; });
  if (slot[2] == kExitProgram) {
    return;
  }
  AskFor(in, out, kPistolPrompt, kNotPistolMessage, &slot[3], [](int code) {
    return code == kColt || code == kLuger || code == kExitProgram;
  });
}

LoadoutBlock BuildLoadoutBlock() {
  LoadoutBlock block;
  for (std::size_t i = 1; i <= 3; ++i) {
    block[i] = GetOutput1(slot[i]);
  }
  block[4] = "level.player giveWeapon(\"fraggrenade\");";
  block[5] = GetOutput2(slot[1]);
  return block;
}

int RunTarvelin(std::istream& in, std::ostream& out, std::ostream& err,
                const CommandRunner& run) {
  out << kBanner;
  out.flush();
  GetWeapons(in, out);
  out.flush();
  if (slot[1] == kExitProgram || slot[2] == kExitProgram ||
      slot[3] == kExitProgram) {
    return kExitSuccess;
  }
  const LoadoutBlock block = BuildLoadoutBlock();

  PrepareStagingDirectory(run);
  std::string why;
  if (!WriteLoadoutScript(block, &why)) {
    err << "tarvelin: cannot write " << kScriptPath << ": " << why << '\n';
    err.flush();
    return kExitFailure;
  }
  if (!PackageLoadout(&why, run)) {
    err << "tarvelin: " << kArchivePath << " was not made: " << why
        << "; the script is kept in " << kScriptPath << '\n';
    err.flush();
    return kExitFailure;
  }
  return kExitSuccess;
}

#ifndef TARVELIN_NO_MAIN
int main() { return RunTarvelin(std::cin, std::cout, std::cerr); }
#endif
