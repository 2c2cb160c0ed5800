// Tests of the staging directory, the archive step and the command runner.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_interpreter.h"
#include "loadout.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(PrepareStagingDirectory, CreatesMaps) {
  ScratchDirectory scratch;
  PrepareStagingDirectory();
  EXPECT_TRUE(fs::is_directory("maps"));
}

TEST(PrepareStagingDirectory, KeepsAnExistingMapsAndItsFiles) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/other.gsc", "mine");
  PrepareStagingDirectory();
  EXPECT_EQ("mine", ReadFile("maps/other.gsc"));
}

TEST(PackageLoadout, RunsZipThenRemovesScriptAndDirectory) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  FakeInterpreter interpreter;
  std::string why;
  std::string note;
  EXPECT_TRUE(PackageLoadout(&why, &note, interpreter.Runner()));
  EXPECT_EQ("script", interpreter.script_at_zip);
  EXPECT_EQ(ExpectedZipCalls(), interpreter.calls);
  EXPECT_EQ("", note);
  EXPECT_FALSE(fs::exists("maps"));
}

TEST(PackageLoadout, LeavesOtherFilesAndTheirDirectory) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  WriteFile("maps/other.gsc", "mine");
  FakeInterpreter interpreter;
  std::string why;
  std::string note;
  EXPECT_TRUE(PackageLoadout(&why, &note, interpreter.Runner()));
  EXPECT_FALSE(fs::exists("maps/_loadout.gsc"));
  EXPECT_EQ("mine", ReadFile("maps/other.gsc"));
}

#ifndef _WIN32
TEST(PackageLoadout, KeepsAMapsThatIsALinkToADirectory) {
  ScratchDirectory scratch;
  fs::create_directory("elsewhere");
  fs::create_directory_symlink("elsewhere", "maps");
  WriteFile("maps/_loadout.gsc", "script");
  FakeInterpreter interpreter;
  std::string why;
  std::string note;
  EXPECT_TRUE(PackageLoadout(&why, &note, interpreter.Runner()));
  EXPECT_TRUE(fs::is_symlink("maps"));
  EXPECT_FALSE(fs::exists("elsewhere/_loadout.gsc"));
}
#endif

TEST(PackageLoadout, KeepsEverythingWhenZipFails) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  FakeInterpreter interpreter;
  interpreter.zip.value = 3;
  std::string why;
  std::string note;
  EXPECT_FALSE(PackageLoadout(&why, &note, interpreter.Runner()));
  EXPECT_EQ("zip exited with status 3", why);
  EXPECT_EQ(ExpectedZipCalls(), interpreter.calls);
  EXPECT_EQ("script", ReadFile("maps/_loadout.gsc"));
}

TEST(RunCommand, TellsHowTheProgramEnded) {
  using Kind = CommandResult::Kind;
  struct Row {
    std::vector<std::string> arguments;
    Kind kind;
    int value;
  };
  const Row rows[] = {
#ifdef _WIN32
      {{"cmd", "/c", "exit", "0"}, Kind::kExited, 0},
      {{"cmd", "/c", "exit", "3"}, Kind::kExited, 3},
#else
      {{"sh", "-c", "exit 0"}, Kind::kExited, 0},
      {{"sh", "-c", "exit 3"}, Kind::kExited, 3},
      {{"sh", "-c", "exit 127"}, Kind::kExited, 127},
      {{"sh", "-c", "kill -TERM $$"}, Kind::kSignalled, 15},
#endif
      {{"tarvelin-no-such-program-anywhere"}, Kind::kNotFound, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.back());
    const CommandResult result = RunCommand(row.arguments);
    EXPECT_EQ(row.kind, result.kind);
    EXPECT_EQ(row.value, result.value);
  }
}

#ifndef _WIN32
TEST(RunCommand, PassesEachArgumentAsItIs) {
  ScratchDirectory scratch;
  const CommandResult result = RunCommand(
      {"sh", "-c", "printf '%s|' \"$@\" > args", "sh", "a b", "'c'", "$d"});
  EXPECT_EQ(CommandResult::Kind::kExited, result.kind);
  EXPECT_EQ("a b|'c'|$d|", ReadFile("args"));
}

TEST(RunCommand, SaysWhyAProgramCouldNotBeStarted) {
  ScratchDirectory scratch;
  WriteFile("not-executable", "#!/bin/sh\n");
  const CommandResult result = RunCommand({"./not-executable"});
  EXPECT_EQ(CommandResult::Kind::kNotStarted, result.kind);
  EXPECT_EQ("Permission denied", result.reason);
}
#endif

#ifndef _WIN32
// Links inside maps: a link to a file is packed as that file, a link to a
// directory (here one back up to maps itself) is not followed, and a link
// to nothing is passed over.
TEST(PackWithoutZip, FollowsLinksToFilesOnly) {
  ScratchDirectory scratch;
  fs::create_directories("maps/sub");
  WriteFile("maps/_loadout.gsc", "script");
  WriteFile("outside.txt", "outside");
  fs::create_symlink("../outside.txt", "maps/file-link");
  fs::create_directory_symlink("..", "maps/sub/loop");
  fs::create_symlink("nowhere", "maps/dangling");
  std::string why;
  ASSERT_TRUE(PackWithoutZip(&why)) << why;
  const std::string archive = ReadFile("sc_loadout.pk3");
  EXPECT_EQ("outside", EntryOf(archive, "maps/file-link"));
  EXPECT_EQ("script", EntryOf(archive, "maps/_loadout.gsc"));
  EXPECT_EQ(std::string::npos, archive.find("maps/sub/loop"));
  EXPECT_EQ(std::string::npos, archive.find("maps/dangling"));
  EXPECT_NE(std::string::npos, archive.find("maps/sub/"));
  EXPECT_EQ("maps outside.txt sc_loadout.pk3", Listing("."));
}
#endif

TEST(PackWithoutZip, AnUnreadableArchiveStaysAsItWas) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  const std::string broken = std::string("PK\3\4", 4) + "cut short";
  WriteFile("sc_loadout.pk3", broken);
  std::string why;
  EXPECT_FALSE(PackWithoutZip(&why));
  EXPECT_EQ(
      "the existing sc_loadout.pk3 cannot be read as a zip archive: no end of "
      "central directory record at the end",
      why);
  EXPECT_EQ(broken, ReadFile("sc_loadout.pk3"));
  EXPECT_EQ("maps sc_loadout.pk3", Listing("."));
}

TEST(PackWithoutZip, AnArchiveThatIsADirectoryIsNotTouched) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  fs::create_directory("sc_loadout.pk3");
  std::string why;
  EXPECT_FALSE(PackWithoutZip(&why));
  EXPECT_EQ("the existing sc_loadout.pk3 is not a file", why);
  EXPECT_TRUE(fs::is_directory("sc_loadout.pk3"));
  EXPECT_EQ("maps sc_loadout.pk3", Listing("."));
}

TEST(PackWithoutZip, TakesTheNextFreeTemporaryName) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  WriteFile("sc_loadout.pk3.tmp0", "someone else's");
  std::string why;
  ASSERT_TRUE(PackWithoutZip(&why)) << why;
  EXPECT_EQ("someone else's", ReadFile("sc_loadout.pk3.tmp0"));
  EXPECT_EQ("maps sc_loadout.pk3 sc_loadout.pk3.tmp0", Listing("."));
  EXPECT_EQ("script", EntryOf(ReadFile("sc_loadout.pk3"), "maps/_loadout.gsc"));
}

#ifndef _WIN32
TEST(PackWithoutZip, AnUpdatedArchiveKeepsItsPermissions) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "first");
  std::string why;
  ASSERT_TRUE(PackWithoutZip(&why)) << why;
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions("sc_loadout.pk3", mode);
  WriteFile("maps/_loadout.gsc", "second");
  ASSERT_TRUE(PackWithoutZip(&why)) << why;
  EXPECT_EQ(mode, fs::status("sc_loadout.pk3").permissions());
  EXPECT_EQ("second", EntryOf(ReadFile("sc_loadout.pk3"), "maps/_loadout.gsc"));
}
#endif
