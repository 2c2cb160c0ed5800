// The program driver and the weapon selection dialogue.
#include <algorithm>
#include <cstdint>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

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

bool IsHelpSwitch(const std::string& argument) {
  return argument == "--help" || argument == "-h" ||
         (kPlatformHelpSwitch[0] != '\0' && argument == kPlatformHelpSwitch);
}

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

namespace {

// The options, what they do, and the exit statuses, for --help.
std::string Usage() {
  return std::string(
             "Usage: tarvelin [--help | --version]\n"
             "\n"
             "Tarvelin prepares a weapon loadout for the game's \"burnville\" "
             "levels.\n"
             "It shows a menu of nine weapons and asks for a primary weapon, "
             "a secondary\n"
             "weapon and a pistol. The three answers are read from standard "
             "input, so\n"
             "they can be typed or piped in:\n"
             "\n"
             "  printf '3 6 9\\n' | tarvelin\n"
             "\n"
             "It writes the script maps/_loadout.gsc, packs the maps "
             "directory into\n"
             "sc_loadout.pk3 in the current directory, then deletes the "
             "script, and maps\n"
             "too if nothing else is in it. It runs zip for that where one is "
             "installed;\n"
             "without zip it makes the archive itself. An existing "
             "sc_loadout.pk3 is\n"
             "updated, its other entries kept. 0 at a prompt ends without "
             "writing anything.\n"
             "\n"
             "Options:\n"
             "  -h, --help     show this text and exit\n") +
         (kPlatformHelpSwitch[0] != '\0'
              ? "  " + std::string(kPlatformHelpSwitch) +
                    "             the same as --help\n"
              : std::string()) +
         "      --version  show the version and exit\n"
         "\n"
         "Exit status:\n"
         "  0  the archive was made, or the dialogue ended before all three "
         "choices\n"
         "  1  the script or the archive could not be made (a script that "
         "was written\n"
         "     is kept in maps/_loadout.gsc)\n"
         "  2  a wrong argument\n";
}

// Answers --help and --version and refuses anything else, before any input
// is read. Returns true and the exit status in `status` when the run ends
// here.
bool HandleArguments(const std::vector<std::string>& arguments,
                     std::ostream& out, std::ostream& err, int* status) {
  if (arguments.empty()) {
    return false;
  }
  bool help = false;
  for (const std::string& argument : arguments) {
    if (IsHelpSwitch(argument)) {
      help = true;
    } else if (argument != "--version") {
      const bool option = argument.size() > 1 && argument[0] == '-';
      err << "tarvelin: " << (option ? "unknown option" : "unexpected argument")
          << " '" << argument << "'"
          << (option ? "" : " (the answers are read from standard input)")
          << "; see 'tarvelin --help'\n";
      err.flush();
      *status = kExitUsage;
      return true;
    }
  }
  out << (help ? Usage() : std::string("tarvelin ") + TARVELIN_VERSION + "\n");
  out.flush();
  *status = kExitSuccess;
  return true;
}

}  // namespace

int RunTarvelin(const std::vector<std::string>& arguments, std::istream& in,
                std::ostream& out, std::ostream& err, const CommandRunner& run,
                bool* job_ran) {
  int status = kExitSuccess;
  if (HandleArguments(arguments, out, err, &status)) {
    return status;
  }
  out << kBanner;
  out.flush();
  GetWeapons(in, out);
  out.flush();
  if (slot[1] == kExitProgram || slot[2] == kExitProgram ||
      slot[3] == kExitProgram) {
    return kExitSuccess;
  }
  const LoadoutBlock block = BuildLoadoutBlock();
  if (job_ran != nullptr) {
    *job_ran = true;
  }

  PrepareStagingDirectory();
  std::string why;
  if (!WriteLoadoutScript(block, &why)) {
    err << "tarvelin: cannot write " << kScriptPath << ": " << why << '\n';
    err.flush();
    return kExitFailure;
  }
  std::string note;
  if (!PackageLoadout(&why, &note, run)) {
    err << "tarvelin: " << kArchivePath << " was not made: " << why
        << "; the script is kept in " << kScriptPath << '\n';
    err.flush();
    return kExitFailure;
  }
  if (!note.empty()) {
    err << "tarvelin: " << note << '\n';
    err.flush();
  }
  return kExitSuccess;
}

#ifndef TARVELIN_NO_MAIN
int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + std::min(argc, 1),
                                           argv + std::max(argc, 1));
  bool job_ran = false;
  const int status = RunTarvelin(arguments, std::cin, std::cout, std::cerr,
                                 RunCommand, &job_ran);
  if (ShouldWaitForEnter(job_ran, ReadConsoleFacts())) {
    WaitForEnter(std::cout);
  }
  return status;
}
#endif
