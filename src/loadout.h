#pragma once

#include <array>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

// The three choices of the dialogue: [1] primary, [2] secondary, [3] pistol.
// [0] is never used. Zero means "not chosen" and ends the run early.
extern int slot[4];

// Weapon codes as typed at the prompts: 1 to 7 are long arms, 8 and 9 are
// pistols, 0 leaves the program.
constexpr int kExitProgram = 0;
constexpr int kFirstLongArm = 1;
constexpr int kLastLongArm = 7;
constexpr int kColt = 8;
constexpr int kLuger = 9;

// The files of a run, relative to the current directory.
inline constexpr char kStagingDirectory[] = "maps";
inline constexpr char kScriptPath[] = "maps/_loadout.gsc";
inline constexpr char kArchivePath[] = "sc_loadout.pk3";

// Six statement lines, without indentation or line end, that become lines 23
// to 28 of the script: [0] stays empty, [1] to [3] give the three weapons,
// [4] gives the grenade, [5] selects the primary.
using LoadoutBlock = std::array<std::string, 6>;

// How a program that was asked to start ended.
struct CommandResult {
  enum class Kind {
    kExited,      // ran and exited with `value`
    kNotFound,    // no such program on PATH
    kNotStarted,  // could not be started; `reason` says why
    kSignalled,   // ended by signal number `value`
  };
  Kind kind = Kind::kExited;
  int value = 0;
  std::string reason;
};

// Starts the program arguments[0], found on PATH, with the rest as its
// arguments, in the current directory, sharing our console, and waits for it.
using CommandRunner =
    std::function<CommandResult(const std::vector<std::string>& arguments)>;

// The real runner: flushes our console output first. On POSIX it starts the
// program directly; on Windows it hands the words, joined by spaces, to the
// command interpreter, so zip.bat and zip.cmd are found as well as zip.exe.
CommandResult RunCommand(const std::vector<std::string>& arguments);

// Shows the menu on `out`, asks for primary, secondary and pistol on `in` and
// leaves the answers in slot[1] to slot[3]. A 0, or input that ends or cannot
// be read as a number, ends the dialogue with 0 in the slot of that prompt.
void GetWeapons(std::istream& in = std::cin, std::ostream& out = std::cout);

// The give statement (GetOutput1) and the switch statement (GetOutput2) of a
// weapon code from 1 to 9; an empty string for any other code.
std::string GetOutput1(int code);
std::string GetOutput2(int code);

// The loadout block for the choices in slot[1] to slot[3].
LoadoutBlock BuildLoadoutBlock();

// Creates or replaces maps/_loadout.gsc in the current directory with the 100
// lines of the script, block set in as lines 23 to 28, CR LF line ends, and
// closes it. Returns false and the system's reason in `why` if the file could
// not be created, written or closed.
bool WriteLoadoutScript(const LoadoutBlock& block, std::string* why);

// Makes sure the directory `maps` exists in the current directory.
void PrepareStagingDirectory();

// Packs `maps` into sc_loadout.pk3 with zip, then removes the staged script
// and, if it is empty, the directory. Where zip cannot be run at all, the
// archive is made without it (PackWithoutZip) and `note` says so. If the
// archive was not made, returns false with the reason in `why` and leaves
// `maps` as it was.
bool PackageLoadout(std::string* why, std::string* note,
                    const CommandRunner& run = RunCommand);

// Makes sc_loadout.pk3 from `maps` as `zip -r ./sc_loadout.pk3 ./maps`
// would: an existing archive is updated, keeping its other entries as they
// are. The new archive is written to a temporary file beside it and renamed
// over it once complete, so on failure (returns false, reason in `why`) an
// existing archive is left byte for byte and no temporary file remains.
bool PackWithoutZip(std::string* why);

// The platform's own way to ask a program for help, as --help does: "/?" on
// Windows, "" (none) elsewhere.
extern const char kPlatformHelpSwitch[];

// Exit statuses of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The whole job for the command-line `arguments` (without the program name):
// --help and --version answer and end; any other argument is refused with
// kExitUsage; none runs the banner, dialogue, script and archive. Errors go
// to `err` as one line each; returns the exit status. `job_ran` (if given)
// is set when the job went beyond the dialogue: the archive was made or an
// error was reported.
int RunTarvelin(const std::vector<std::string>& arguments, std::istream& in,
                std::ostream& out, std::ostream& err,
                const CommandRunner& run = RunCommand, bool* job_ran = nullptr);

// What the program knows of its console window (Windows only; all false
// elsewhere).
struct ConsoleFacts {
  bool only_process_on_console = false;  // started from Explorer, not a prompt
  bool input_is_console = false;
  bool output_is_console = false;
};

ConsoleFacts ReadConsoleFacts();

// True when a window of our own would close with the outcome unread: the job
// ran, we are the only process on the console and neither stream is
// redirected.
bool ShouldWaitForEnter(bool job_ran, const ConsoleFacts& console);

// Asks the player to press Enter and waits for it, reading the console
// itself (whatever standard input held is not used).
void WaitForEnter(std::ostream& out);
