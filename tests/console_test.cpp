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
    EXPECT_EQ(0, RunTarvelin(in, out, err, interpreter.Runner()));
    EXPECT_EQ(0u, out.str().find(kBanner + kMenu + P));
    EXPECT_EQ("", err.str());
    EXPECT_TRUE(interpreter.lines.empty());
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
  EXPECT_EQ(0, RunTarvelin(in, out, err, interpreter.Runner()));
  EXPECT_EQ(kBanner + kMenu + P + S + T, out.str());
  EXPECT_EQ("", err.str());
  EXPECT_EQ(ScriptFor369(), interpreter.script_at_zip);
  EXPECT_EQ(ExpectedInterpreterLines(), interpreter.lines);
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
    ASSERT_EQ(0, RunTarvelin(in, out, err, interpreter.Runner()));
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
  EXPECT_EQ(1, RunTarvelin(in, out, err, interpreter.Runner()));
  EXPECT_EQ(kBanner + kMenu + P + S + T, out.str());
  const std::string message = err.str();
  EXPECT_EQ(0u, message.find("tarvelin: cannot write maps/_loadout.gsc: "));
  EXPECT_EQ('\n', message.back());
  EXPECT_EQ(1, std::count(message.begin(), message.end(), '\n'));
  EXPECT_FALSE(interpreter.zip_ran);
  EXPECT_EQ("not a directory", ReadFile("maps"));
}

TEST(RunTarvelin, ReportsAFailedZipAndKeepsTheScript) {
  struct Row {
    int status;
    std::string reason;
  };
  const Row rows[] = {
      {12, "zip exited with status 12"},
      {kCommandNotFoundStatus, "the zip program was not found (status " +
                                   std::to_string(kCommandNotFoundStatus) +
                                   ")"},
      {kCommandNotStarted, "the command interpreter could not be started"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    ResetSlots();
    ScratchDirectory scratch;
    FakeInterpreter interpreter;
    interpreter.zip_status = row.status;
    std::istringstream in("3 6 9\n");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(1, RunTarvelin(in, out, err, interpreter.Runner()));
    EXPECT_EQ("tarvelin: sc_loadout.pk3 was not made: " + row.reason +
                  "; the script is kept in maps/_loadout.gsc\n",
              err.str());
    EXPECT_EQ(ScriptFor369(), ReadFile("maps/_loadout.gsc"));
  }
}
