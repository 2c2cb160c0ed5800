#pragma once

#include <array>
#include <functional>
#include <iostream>
#include <string>

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

// Hands one command line to the command interpreter and returns its exit
// status, or kCommandNotStarted when the interpreter could not be started.
using CommandRunner = std::function<int(const std::string& command_line)>;

constexpr int kCommandNotStarted = -1;

// The exit status of the command interpreter when it cannot find the program
// of a command line.
extern const int kCommandNotFoundStatus;

// The real runner: flushes our console output, then runs the line through
// std::system and waits for it. A child ended by a signal reports 128 plus
// the signal number, as a POSIX shell does.
int RunCommand(const std::string& command_line);

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
void PrepareStagingDirectory(const CommandRunner& run = RunCommand);

// Packs `maps` into sc_loadout.pk3 with zip, then removes the staged script
// and, if it is empty, the directory. If zip could not be run or failed,
// returns false with the reason in `why` and leaves `maps` as it was.
bool PackageLoadout(std::string* why, const CommandRunner& run = RunCommand);

// Exit statuses of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// The whole job: banner, dialogue, script, archive. Errors go to `err` as one
// line each; returns the exit status.
int RunTarvelin(std::istream& in, std::ostream& out, std::ostream& err,
                const CommandRunner& run = RunCommand);
