// Runs the built program as a black box, in a fresh directory, with a
// stand-in zip first on PATH.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kBanner = "\tTarvelin 1.1\n\t  Created by: Quellmarr\n\n";
const std::string kMenu =
    "\tPrimary/Secondary\n\t[1] BAR\n\t[2] M1 Carbine\n\t[3] M1 Garand\n"
    "\t[4] Thompson\n\t[5] FG-42\n\t[6] Kar 98k\n\t[7] MP-40\n\n"
    "\tPistol Only!\n\t[8] Colt .45\n\t[9] Luger\n\n\t[0] Exit Program\n\n";
const std::string kPrompts = "Primary   >> Secondary >> Pistol    >> ";
const std::string kStandInSays = "stand-in zip: packing\n";

// The program, found from the directory ctest starts us in, before any test
// changes directory.
const fs::path kProgram = fs::absolute(TARVELIN_FILE);

// Which zip the program finds on PATH.
enum class Zip {
  kStandIn,  // records what it sees, says kStandInSays, exits `zip_status`
  kReal,     // the system's zip, behind the recording stand-in
  kNone,     // nothing called zip anywhere on PATH
};

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A scratch directory laid out as: work/ (the program's current directory),
// bin/ (the stand-in zip), record/ (what the stand-in saw).
class EndToEnd : public ::testing::Test {
 protected:
  fs::path work() const { return scratch_.path() / "work"; }
  fs::path record() const { return scratch_.path() / "record"; }

  void SetUp() override {
    fs::create_directory(work());
    fs::create_directory(record());
    fs::create_directory(scratch_.path() / "bin");
  }

  Outcome Run(const std::string& input, Zip zip = Zip::kStandIn,
              int zip_status = 0, bool close_input = false);

  // What the stand-in recorded, or "" if it never ran.
  std::string Recorded(const std::string& name) const {
    return ReadFile(record() / name);
  }
  bool ZipRan() const { return fs::exists(record() / "args"); }

 private:
  ScratchDirectory scratch_;
};

#ifndef _WIN32

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

Outcome EndToEnd::Run(const std::string& input, Zip zip, int zip_status,
                      bool close_input) {
  const fs::path bin = scratch_.path() / "bin";
  std::string path_variable = Quoted(bin);
  fs::remove(bin / "zip");
  if (zip != Zip::kNone) {
    // The stand-in copies maps as it is when zip starts, and notes whether
    // any process above it still holds the script open.
    const std::string finish = zip == Zip::kReal
                                   ? "exec /usr/bin/zip \"$@\"\n"
                                   : "echo 'stand-in zip: packing'\n"
                                     ": > ./sc_loadout.pk3\n"
                                     "exit " +
                                         std::to_string(zip_status) + "\n";
    WriteFile(
        bin / "zip",
        "#!/bin/sh\n"
        "rec=" +
            Quoted(record()) +
            "\n"
            "printf '%s\\n' \"$@\" > \"$rec/args\"\n"
            "pwd > \"$rec/cwd\"\n"
            "cp -R maps \"$rec/maps\"\n"
            "open=0; p=$PPID\n"
            "while [ \"$p\" -gt 1 ]; do\n"
            "  ls -l /proc/$p/fd 2>/dev/null | grep -q _loadout.gsc && open=1\n"
            "  p=$(awk '/^PPid:/ {print $2}' /proc/$p/status)\n"
            "done\n"
            "echo $open > \"$rec/open\"\n" +
            finish);
    fs::permissions(bin / "zip", fs::perms::owner_all);
    path_variable += ":/usr/bin:/bin";
  }
  WriteFile(scratch_.path() / "in.txt", input);
  const std::string command =
      "cd " + Quoted(work()) + " && PATH=" + path_variable + " " +
      Quoted(kProgram) + (close_input ? " <&-" : " <../in.txt") +
      " >../out.txt 2>../err.txt";
  const int status = std::system(command.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.out = ReadFile(scratch_.path() / "out.txt");
  outcome.err = ReadFile(scratch_.path() / "err.txt");
  return outcome;
}

#endif

// The names in a directory, sorted, joined by spaces.
std::string Listing(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string listing;
  for (const std::string& name : names) {
    listing += (listing.empty() ? "" : " ") + name;
  }
  return listing;
}

}  // namespace

TEST_F(EndToEnd, WholeRunHandsZipAClosedScriptAndCleansUp) {
  const Outcome outcome = Run("3 6 9\n");
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(kBanner + kMenu + kPrompts + kStandInSays, outcome.out);
  EXPECT_EQ("", outcome.err);
  EXPECT_EQ("-r\n./sc_loadout.pk3\n./maps\n", Recorded("args"));
  EXPECT_EQ(fs::canonical(work()).string() + "\n", Recorded("cwd"));
  EXPECT_EQ(ScriptFor369(), Recorded("maps/_loadout.gsc"));
  EXPECT_EQ("_loadout.gsc", Listing(record() / "maps"));
  EXPECT_EQ("0\n", Recorded("open"));
  EXPECT_EQ("sc_loadout.pk3", Listing(work()));
}

TEST_F(EndToEnd, EarlyEndPrintsTheDialogueOnly) {
  const Outcome outcome = Run("0\n");
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(kBanner + kMenu + "Primary   >> ", outcome.out);
  EXPECT_EQ("", outcome.err);
  EXPECT_FALSE(ZipRan());
  EXPECT_EQ("", Listing(work()));
}

#ifndef _WIN32

namespace {

// Runs a command line of the test's own and returns what it printed.
std::string Capture(const std::string& command, const fs::path& output) {
  const int status = std::system((command + " >" + Quoted(output)).c_str());
  EXPECT_EQ(0, status) << command;
  return ReadFile(output);
}

}  // namespace

TEST_F(EndToEnd, RealZipStoresTheScriptInTheArchive) {
  const Outcome outcome = Run("3\n6\n9\n", Zip::kReal);
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(0u, outcome.out.find(kBanner + kMenu + kPrompts));
  EXPECT_EQ("", outcome.err);
  EXPECT_EQ("sc_loadout.pk3", Listing(work()));
  EXPECT_EQ(ScriptFor369(),
            Capture("unzip -p " + Quoted(work() / "sc_loadout.pk3") +
                        " maps/_loadout.gsc",
                    record() / "unzipped"));
}

TEST_F(EndToEnd, RealZipPacksAnExistingMapsAndKeepsIt) {
  fs::create_directory(work() / "maps");
  WriteFile(work() / "maps" / "other.gsc", "// mine\n");
  const Outcome outcome = Run("3 6 9\n", Zip::kReal);
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ("", outcome.err);
  EXPECT_EQ("maps sc_loadout.pk3", Listing(work()));
  EXPECT_EQ("other.gsc", Listing(work() / "maps"));
  EXPECT_EQ("// mine\n",
            Capture("unzip -p " + Quoted(work() / "sc_loadout.pk3") +
                        " maps/other.gsc",
                    record() / "unzipped"));
}

TEST_F(EndToEnd, RealZipAddsToAnExistingArchive) {
  WriteFile(record() / "earlier.txt", "earlier entry\n");
  ASSERT_EQ(0, std::system(("cd " + Quoted(record()) + " && zip -q " +
                            Quoted(work() / "sc_loadout.pk3") + " earlier.txt")
                               .c_str()));
  const Outcome outcome = Run("3 6 9\n", Zip::kReal);
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ("", outcome.err);
  const fs::path archive = work() / "sc_loadout.pk3";
  EXPECT_EQ("earlier entry\n",
            Capture("unzip -p " + Quoted(archive) + " earlier.txt",
                    record() / "unzipped"));
  EXPECT_EQ(ScriptFor369(),
            Capture("unzip -p " + Quoted(archive) + " maps/_loadout.gsc",
                    record() / "unzipped"));
}

// Runs that must not lose anything of the user's, and must say so when the
// archive is not made.
TEST_F(EndToEnd, FaultsLoseNothingAndAreReported) {
  const std::string kept = "; the script is kept in maps/_loadout.gsc\n";
  const std::string not_made = "tarvelin: sc_loadout.pk3 was not made: ";
  struct Row {
    std::string what;
    std::function<void(const fs::path& work)> arrange;
    std::string input;
    Zip zip;
    int zip_status;
    bool close_input;
    int status;
    std::string last_error_line;  // "" when nothing may be on stderr
    std::function<void(const fs::path& work, bool zip_ran)> check;
  };
  const auto script_kept = [](const fs::path& work, bool zip_ran) {
    EXPECT_TRUE(zip_ran);
    EXPECT_EQ(ScriptFor369(), ReadFile(work / "maps" / "_loadout.gsc"));
    EXPECT_EQ("_loadout.gsc", Listing(work / "maps"));
  };
  const auto nothing_done = [](const fs::path& work, bool zip_ran) {
    EXPECT_FALSE(zip_ran);
    EXPECT_EQ("", Listing(work));
  };
  const std::string dialogue_to_primary = kBanner + kMenu + "Primary   >> ";
  const Row rows[] = {
      {"maps is a regular file",
       [](const fs::path& work) { WriteFile(work / "maps", "mine"); },
       "3 6 9\n", Zip::kStandIn, 0, false, 1,
       "tarvelin: cannot write maps/_loadout.gsc: Not a directory\n",
       [](const fs::path& work, bool zip_ran) {
         EXPECT_FALSE(zip_ran);
         EXPECT_EQ("mine", ReadFile(work / "maps"));
         EXPECT_EQ("maps", Listing(work));
       }},
      {"the disk is full",
       [](const fs::path& work) {
         fs::create_directory(work / "maps");
         fs::create_symlink("/dev/full", work / "maps" / "_loadout.gsc");
       },
       "3 6 9\n", Zip::kStandIn, 0, false, 1,
       "tarvelin: cannot write maps/_loadout.gsc: No space left on device\n",
       [](const fs::path& work, bool zip_ran) {
         EXPECT_FALSE(zip_ran);
         EXPECT_TRUE(fs::is_symlink(work / "maps" / "_loadout.gsc"));
         EXPECT_EQ("maps", Listing(work));
       }},
      {"no zip on PATH", [](const fs::path&) {}, "3 6 9\n", Zip::kNone, 0,
       false, 1, not_made + "the zip program was not found (status 127)" + kept,
       [](const fs::path& work, bool) {
         EXPECT_EQ(ScriptFor369(), ReadFile(work / "maps" / "_loadout.gsc"));
         EXPECT_EQ("maps", Listing(work));
       }},
      {"zip exits with 12", [](const fs::path&) {}, "3 6 9\n", Zip::kStandIn,
       12, false, 1, not_made + "zip exited with status 12" + kept,
       script_kept},
      {"the archive is not a zip archive",
       [](const fs::path& work) {
         WriteFile(work / "sc_loadout.pk3", "not a zip archive\n");
       },
       "3 6 9\n", Zip::kReal, 0, false, 1,
       not_made + "zip exited with status 3" + kept,
       [&](const fs::path& work, bool zip_ran) {
         script_kept(work, zip_ran);
         EXPECT_EQ("not a zip archive\n", ReadFile(work / "sc_loadout.pk3"));
       }},
      {"standard input is closed", [](const fs::path&) {}, "", Zip::kStandIn, 0,
       true, 0, "", nothing_done},
      {"a line of 10,000 digits", [](const fs::path&) {},
       std::string(10000, '9') + "\n3 6 9\n", Zip::kStandIn, 0, false, 0, "",
       nothing_done},
      {"a NUL byte among the digits", [](const fs::path&) {},
       std::string("3\0006 9\n", 6), Zip::kStandIn, 0, false, 0, "",
       nothing_done},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(work());
    fs::remove_all(record());
    fs::create_directory(work());
    fs::create_directory(record());
    row.arrange(work());
    const Outcome outcome =
        Run(row.input, row.zip, row.zip_status, row.close_input);
    EXPECT_EQ(row.status, outcome.status);
    if (row.last_error_line.empty()) {
      EXPECT_EQ("", outcome.err);
    } else {
      // The shell or zip may have spoken first; ours is the last line.
      ASSERT_GE(outcome.err.size(), row.last_error_line.size());
      EXPECT_EQ(
          row.last_error_line,
          outcome.err.substr(outcome.err.size() - row.last_error_line.size()));
    }
    EXPECT_EQ(0u, outcome.out.find(dialogue_to_primary));
    row.check(work(), ZipRan());
  }
}

#endif
