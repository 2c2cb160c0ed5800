// Tests of the weapon selection dialogue and the driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "fake_interpreter.h"
#include "loadout.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string P = "Primary   >> ";
const std::string S = "Secondary >> ";
const std::string T = "Pistol    >> ";
const std::string kNotSecondary = "Error: This is your primary weapon\n";
const std::string kNotPistol = "Error: This is not a pistol\n";

void ResetSlots() { std::fill(std::begin(slot), std::end(slot), 0); }

CommandResult Ended(CommandResult::Kind kind, int value,
                    const std::string& reason) {
  CommandResult result;
  result.kind = kind;
  result.value = value;
  result.reason = reason;
  return result;
}

struct DialogueRow {
  std::string what;
  std::string input;
  std::string shown;  // everything after the menu
  int primary, secondary, pistol;
};

}  // namespace

TEST(GetWeapons, TranscriptAndChoicesForEachInput) {
  const std::string many_digits(10000, '7');
  const std::string zeros_then_three = std::string(5000, '0') + "3";
  const DialogueRow rows[] = {
      {"three choices", "3 6 9\n", P + S + T, 3, 6, 9},
      {"0 at Primary", "0\n3 6 9\n", P, 0, 0, 0},
      {"0 at Secondary", "3\n0\n9\n", P + S, 3, 0, 0},
      {"0 at Pistol", "3\n6\n0\n", P + S + T, 3, 6, 0},
      {"8, 9 and -1 at Primary repeat silently", "8\n9\n-1\n3\n6\n8\n",
       P + P + P + P + S + T, 3, 6, 8},
      {"primary's code, 8, 9, -1, 12 at Secondary",
       "3\n3\n8\n9\n-1\n12\n6\n9\n",
       P + S + kNotSecondary + S + kNotSecondary + S + kNotSecondary + S +
           kNotSecondary + S + kNotSecondary + S + T,
       3, 6, 9},
      {"5 and 7 at Pistol", "3\n6\n5\n7\n9\n",
       P + S + T + kNotPistol + T + kNotPistol + T, 3, 6, 9},
      {"several numbers on one line", "1 2 8\n", P + S + T, 1, 2, 8},
      {"empty lines and all kinds of whitespace",
       "\n\n \t\n3\r\n\v\f\n6\n\n9\n", P + S + T, 3, 6, 9},
      {"plus sign", "+3 +6 +9", P + S + T, 3, 6, 9},
      {"leading zeros", "007 06 09\n", P + S + T, 7, 6, 9},
      {"5000 leading zeros", zeros_then_three + " 6 9", P + S + T, 3, 6, 9},
      {"3.9 leaves the point unread", "3.9\n6 9\n", P + S, 3, 0, 0},
      {"7a", "7a\n", P + S, 7, 0, 0},
      {"0x5 is 0", "0x5\n", P, 0, 0, 0},
      {"0x5 at Pistol is 0", "3 6 0x5\n", P + S + T, 3, 6, 0},
      {"2147483647 at Primary is rejected", "2147483647\n3 6 9\n",
       P + P + S + T, 3, 6, 9},
      {"2147483647 at Secondary is rejected", "3 2147483647 6 9\n",
       P + S + kNotSecondary + S + T, 3, 6, 9},
      {"2147483647 at Pistol is rejected", "3 6 2147483647 9\n",
       P + S + T + kNotPistol + T, 3, 6, 9},
      {"2147483648 at Primary", "2147483648\n3 6 9\n", P, 0, 0, 0},
      {"2147483648 at Secondary", "3 2147483648 6 9\n", P + S, 3, 0, 0},
      {"2147483648 at Pistol", "3 6 2147483648 9\n", P + S + T, 3, 6, 0},
      {"-2147483649 at Primary", "-2147483649 3 6 9\n", P, 0, 0, 0},
      {"-2147483648 is read and rejected", "-2147483648 1 2 9\n", P + P + S + T,
       1, 2, 9},
      {"10,000 digits", many_digits + " 3 6 9\n", P, 0, 0, 0},
      {"a letter at Primary", "x 3 6 9\n", P, 0, 0, 0},
      {"a sign alone", "- 3 6 9\n", P, 0, 0, 0},
      {"a sign at the end of input", "3 -", P + S, 3, 0, 0},
      {"two signs", "+-3 6 9\n", P, 0, 0, 0},
      {"a NUL byte after a digit", std::string("3\0 6 9\n", 7), P + S, 3, 0, 0},
      {"end of input at Primary", "", P, 0, 0, 0},
      {"end of input at Secondary", "3\n", P + S, 3, 0, 0},
      {"end of input at Pistol", "3 6\n", P + S + T, 3, 6, 0},
      {"a number at the very end of input is kept", "3 6 9", P + S + T, 3, 6,
       9},
      {"rejected, then end of input at Primary", "9\n", P + P, 0, 0, 0},
      {"rejected, then end of input at Secondary", "3 3\n",
       P + S + kNotSecondary + S, 3, 0, 0},
      {"rejected, then end of input at Pistol", "3 6 5\n",
       P + S + T + kNotPistol + T, 3, 6, 0},
      {"rejected, then a letter at Primary", "9 x\n", P + P, 0, 0, 0},
      {"rejected, then a letter at Secondary", "3 12 x\n",
       P + S + kNotSecondary + S, 3, 0, 0},
      {"rejected, then out of range at Pistol", "3 6 5 99999999999\n",
       P + S + T + kNotPistol + T, 3, 6, 0},
  };
  for (const DialogueRow& row : rows) {
    SCOPED_TRACE(row.what);
    ResetSlots();
    std::istringstream in(row.input);
    std::ostringstream out;
    GetWeapons(in, out);
    EXPECT_EQ(kMenu + row.shown, out.str());
    EXPECT_EQ(row.primary, slot[1]);
    EXPECT_EQ(row.secondary, slot[2]);
    EXPECT_EQ(row.pistol, slot[3]);
    EXPECT_EQ(0, slot[0]);
  }
}

TEST(GetWeapons, LeavesUnreadWhatFollowsTheNumber) {
  ResetSlots();
  std::istringstream in("3 6 9\nrest");
  std::ostringstream out;
  GetWeapons(in, out);
  std::string rest;
  std::getline(in, rest);  // the line end after 9 is not consumed
  EXPECT_EQ("", rest);
  std::getline(in, rest);
  EXPECT_EQ("rest", rest);
}

namespace {

// A console whose output is shown only when flushed, and whose input records
// what was shown each time the program waits for more input.
class ConsoleOutput : public std::stringbuf {
 public:
  std::string shown;

 protected:
  int sync() override {
    shown += str();
    str("");
    return 0;
  }
};

class ConsoleInput : public std::streambuf {
 public:
  ConsoleInput(std::vector<std::string> lines, const ConsoleOutput& output)
      : lines_(std::move(lines)), output_(output) {}

  std::vector<std::string> shown_when_waiting;

 protected:
  int_type underflow() override {
    shown_when_waiting.push_back(output_.shown);
    if (next_ == lines_.size()) {
      return traits_type::eof();
    }
    current_ = lines_[next_++];
    setg(&current_[0], &current_[0], &current_[0] + current_.size());
    return traits_type::to_int_type(current_[0]);
  }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  std::string current_;
  const ConsoleOutput& output_;
};

}  // namespace

TEST(GetWeapons, ShowsEachPromptBeforeWaiting) {
  ResetSlots();
  ConsoleOutput console;
  ConsoleInput typed({"\n", "3\n", "3\n", "6\n", "5\n", "9\n"}, console);
  std::istream in(&typed);
  std::ostream out(&console);
  GetWeapons(in, out);
  const std::vector<std::string> expected = {
      kMenu + P,  // the empty line is skipped without a new prompt
      kMenu + P,
      kMenu + P + S,
      kMenu + P + S + kNotSecondary + S,
      kMenu + P + S + kNotSecondary + S + T,
      kMenu + P + S + kNotSecondary + S + T + kNotPistol + T,
  };
  EXPECT_EQ(expected, typed.shown_when_waiting);
  EXPECT_EQ(9, slot[3]);
}

TEST(BuildLoadoutBlock, HoldsTheChosenWeaponsInOrder) {
  ResetSlots();
  slot[1] = 3;
  slot[2] = 6;
  slot[3] = 9;
  const LoadoutBlock expected = {
      "",
      "level.player giveWeapon(\"m1garand\");",
      "level.player giveWeapon(\"kar98k\");",
      "level.player giveWeapon(\"luger\");",
      "level.player giveWeapon(\"fraggrenade\");",
      "level.player switchToWeapon(\"m1garand\");",
  };
  EXPECT_EQ(expected, BuildLoadoutBlock());
}

TEST(RunTarvelin, EarlyEndTouchesNothing) {
  const std::string inputs[] = {"0\n", "3 0\n", "3 6 0\n", "", "x", "9"};
  for (const std::string& input : inputs) {
    SCOPED_TRACE("input: \"" + input + "\"");
    ResetSlots();
    ScratchDirectory scratch;
    FakeInterpreter interpreter;
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(0, RunTarvelin({}, in, out, err, interpreter.Runner()));
    EXPECT_EQ(0u, out.str().find(kBanner + kMenu + P));
    EXPECT_EQ("", err.str());
    EXPECT_TRUE(interpreter.calls.empty());
    EXPECT_TRUE(fs::is_empty(scratch.path()));
  }
}

TEST(RunTarvelin, WholeJobPacksTheScriptAndCleansUp) {
  ResetSlots();
  ScratchDirectory scratch;
  FakeInterpreter interpreter;
  std::istringstream in("3 6 9\n");
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(0, RunTarvelin({}, in, out, err, interpreter.Runner()));
  EXPECT_EQ(kBanner + kMenu + P + S + T, out.str());
  EXPECT_EQ("", err.str());
  EXPECT_EQ(ScriptFor369(), interpreter.script_at_zip);
  EXPECT_EQ(ExpectedZipCalls(), interpreter.calls);
  EXPECT_FALSE(fs::exists("maps"));
}

TEST(RunTarvelin, EveryWeaponReachesTheScript) {
  struct Row {
    int primary, secondary, pistol;
    const char *primary_id, *secondary_id, *pistol_id;
  };
  const Row rows[] = {
      {1, 2, 8, "bar", "m1carbine", "colt"},
      {2, 1, 9, "m1carbine", "bar", "luger"},
      {3, 4, 8, "m1garand", "thompson", "colt"},
      {4, 3, 9, "thompson", "m1garand", "luger"},
      {5, 6, 8, "fg42", "kar98k", "colt"},
      {6, 7, 9, "kar98k", "mp40", "luger"},
      {7, 5, 8, "mp40", "fg42", "colt"},
  };
  for (const Row& row : rows) {
    const std::string input = std::to_string(row.primary) + " " +
                              std::to_string(row.secondary) + " " +
                              std::to_string(row.pistol) + "\n";
    SCOPED_TRACE("input: " + input);
    ResetSlots();
    ScratchDirectory scratch;
    FakeInterpreter interpreter;
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(0, RunTarvelin({}, in, out, err, interpreter.Runner()));
    const std::string give = "\t\tlevel.player giveWeapon(\"";
    const std::string block =
        "\t\t\r\n" + give + row.primary_id + "\");\r\n" + give +
        row.secondary_id + "\");\r\n" + give + row.pistol_id + "\");\r\n" +
        give + "fraggrenade\");\r\n" + "\t\tlevel.player switchToWeapon(\"" +
        row.primary_id + "\");\r\n";
    EXPECT_NE(std::string::npos,
              interpreter.script_at_zip.find(" \r\n" + block + " \r\n"));
  }
}

TEST(RunTarvelin, ReportsAScriptThatCannotBeWritten) {
  ResetSlots();
  ScratchDirectory scratch;
  WriteFile("maps", "not a directory");
  FakeInterpreter interpreter;
  std::istringstream in("3 6 9\n");
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(1, RunTarvelin({}, in, out, err, interpreter.Runner()));
  EXPECT_EQ(kBanner + kMenu + P + S + T, out.str());
  const std::string message = err.str();
  EXPECT_EQ(0u, message.find("tarvelin: cannot write maps/_loadout.gsc: "));
  EXPECT_EQ('\n', message.back());
  EXPECT_EQ(1, std::count(message.begin(), message.end(), '\n'));
  EXPECT_FALSE(interpreter.zip_ran);
  EXPECT_EQ("not a directory", ReadFile("maps"));
}

TEST(RunTarvelin, ReportsAFailedZipAndKeepsTheScript) {
  using Kind = CommandResult::Kind;
  struct Row {
    CommandResult zip;
    std::string reason;
  };
  const Row rows[] = {
      {Ended(Kind::kExited, 12, ""), "zip exited with status 12"},
      {Ended(Kind::kExited, 127, ""), "zip exited with status 127"},
      {Ended(Kind::kSignalled, 9, ""), "zip was ended by signal 9"},
#ifndef _WIN32
      // A zip that exists but cannot be started is not replaced.
      {Ended(Kind::kNotStarted, 0, "Permission denied"),
       "zip could not be started: Permission denied"},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    ResetSlots();
    ScratchDirectory scratch;
    FakeInterpreter interpreter;
    interpreter.zip = row.zip;
    std::istringstream in("3 6 9\n");
    std::ostringstream out;
    std::ostringstream err;
    bool job_ran = false;
    EXPECT_EQ(1, RunTarvelin({}, in, out, err, interpreter.Runner(), &job_ran));
    // The signal's name may follow its number.
    const std::string message = err.str();
    EXPECT_EQ(0u, message.find("tarvelin: sc_loadout.pk3 was not made: " +
                               row.reason));
    const std::string kept = "; the script is kept in maps/_loadout.gsc\n";
    ASSERT_GE(message.size(), kept.size());
    EXPECT_EQ(kept, message.substr(message.size() - kept.size()));
    EXPECT_EQ(1, std::count(message.begin(), message.end(), '\n'));
    EXPECT_EQ(ScriptFor369(), ReadFile("maps/_loadout.gsc"));
    EXPECT_FALSE(fs::exists("sc_loadout.pk3"));
    EXPECT_TRUE(job_ran);
  }
}

TEST(RunTarvelin, MakesTheArchiveItselfWhereZipCannotRun) {
  using Kind = CommandResult::Kind;
  struct Row {
    CommandResult zip;
    std::string note;
  };
  const Row rows[] = {
      {Ended(Kind::kNotFound, 0, ""),
       "tarvelin: zip was not found; sc_loadout.pk3 was made without it\n"},
#ifdef _WIN32
      {Ended(Kind::kNotStarted, 0,
             "the command interpreter could not be started"),
       "tarvelin: the command interpreter could not be started; "
       "sc_loadout.pk3 was made without it\n"},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    ResetSlots();
    ScratchDirectory scratch;
    FakeInterpreter interpreter;
    interpreter.zip = row.zip;
    std::istringstream in("3 6 9\n");
    std::ostringstream out;
    std::ostringstream err;
    bool job_ran = false;
    EXPECT_EQ(0, RunTarvelin({}, in, out, err, interpreter.Runner(), &job_ran));
    EXPECT_EQ(kBanner + kMenu + P + S + T, out.str());
    EXPECT_EQ(row.note, err.str());
    EXPECT_EQ("sc_loadout.pk3", Listing(scratch.path()));
    EXPECT_EQ(ScriptFor369(),
              EntryOf(ReadFile("sc_loadout.pk3"), "maps/_loadout.gsc"));
    EXPECT_TRUE(job_ran);
  }
}

// Arguments are answered or refused before anything is read or written.
TEST(RunTarvelin, HandlesItsArguments) {
  struct Row {
    std::vector<std::string> arguments;
    int status;
    std::string out_starts;  // "" when nothing may be on stdout
    std::string err;
  };
  const std::string usage = "Usage: tarvelin [--help | --version]\n";
  const std::string see = "; see 'tarvelin --help'\n";
  const Row rows[] = {
      {{"--help"}, 0, usage, ""},
      {{"-h"}, 0, usage, ""},
      {{"--version"}, 0, "tarvelin 1.1.0\n", ""},
      {{"--version", "--help"}, 0, usage, ""},
      {{"--bogus"}, 2, "", "tarvelin: unknown option '--bogus'" + see},
      {{"-x"}, 2, "", "tarvelin: unknown option '-x'" + see},
      {{"--help", "--bogus"},
       2,
       "",
       "tarvelin: unknown option '--bogus'" + see},
      {{"3", "6", "9"},
       2,
       "",
       "tarvelin: unexpected argument '3' (the answers are read from "
       "standard input)" +
           see},
      {{"-"},
       2,
       "",
       "tarvelin: unexpected argument '-' (the answers are read from "
       "standard input)" +
           see},
#ifdef _WIN32
      {{"/?"}, 0, usage, ""},
#else
      {{"/?"},
       2,
       "",
       "tarvelin: unexpected argument '/?' (the answers are read from "
       "standard input)" +
           see},
#endif
  };
  for (const Row& row : rows) {
    std::string trace;
    for (const std::string& argument : row.arguments) {
      trace += argument + " ";
    }
    SCOPED_TRACE("arguments: " + trace);
    ResetSlots();
    ScratchDirectory scratch;
    FakeInterpreter interpreter;
    std::istringstream in("3 6 9\n");
    std::ostringstream out;
    std::ostringstream err;
    bool job_ran = false;
    EXPECT_EQ(row.status, RunTarvelin(row.arguments, in, out, err,
                                      interpreter.Runner(), &job_ran));
    if (row.out_starts.empty()) {
      EXPECT_EQ("", out.str());
    } else {
      EXPECT_EQ(0u, out.str().find(row.out_starts)) << out.str();
      EXPECT_EQ('\n', out.str().back());
    }
    EXPECT_EQ(row.err, err.str());
    EXPECT_EQ(0, in.tellg()) << "standard input was read";
    EXPECT_TRUE(interpreter.calls.empty());
    EXPECT_TRUE(fs::is_empty(scratch.path()));
    EXPECT_FALSE(job_ran);
  }
}

TEST(RunTarvelin, HelpSaysHowToUseIt) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(0, RunTarvelin({"--help"}, in, out, err));
  const std::string help = out.str();
  for (const char* part :
       {"printf '3 6 9\\n' | tarvelin", "standard input", "maps/_loadout.gsc",
        "sc_loadout.pk3", "zip", "--version", "Exit status", "  0  ", "  1  ",
        "  2  "}) {
    EXPECT_NE(std::string::npos, help.find(part)) << part;
  }
  // Fits an 80-column console.
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 79u) << line;
  }
}

TEST(ShouldWaitForEnter, OnlyAWindowOfOurOwnAfterTheJob) {
  struct Row {
    bool job_ran, only_process, input_console, output_console, wait;
  };
  const Row rows[] = {
      {true, true, true, true, true},    // double-clicked, job done
      {false, true, true, true, false},  // ended early (0 or end of input)
      {true, false, true, true, false},  // started from a command prompt
      {true, true, false, true, false},  // input redirected
      {true, true, true, false, false},  // output redirected
      {false, false, false, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.job_ran << row.only_process << row.input_console
                 << row.output_console);
    ConsoleFacts console;
    console.only_process_on_console = row.only_process;
    console.input_is_console = row.input_console;
    console.output_is_console = row.output_console;
    EXPECT_EQ(row.wait, ShouldWaitForEnter(row.job_ran, console));
  }
}

TEST(ReadConsoleFacts, NeverAWindowOfOurOwnWithPipedStreams) {
  // ctest runs us with piped streams, on Linux and under Wine alike.
  const ConsoleFacts console = ReadConsoleFacts();
  EXPECT_FALSE(ShouldWaitForEnter(true, console));
#ifndef _WIN32
  EXPECT_FALSE(console.only_process_on_console);
  EXPECT_FALSE(console.input_is_console);
  EXPECT_FALSE(console.output_is_console);
#endif
}
