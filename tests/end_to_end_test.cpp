// Runs the built program as a black box, in a fresh directory, with a
// stand-in zip first on PATH.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "wine_host.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kPrompts = "Primary   >> Secondary >> Pistol    >> ";
const std::string kStandInSays = "stand-in zip: packing\n";
const std::string kMadeWithoutZip =
    "tarvelin: zip was not found; sc_loadout.pk3 was made without it\n";

// `text` as a captured console stream of the program holds it: on Windows the
// C library writes "\n" to stdout and stderr as "\r\n".
std::string Console(const std::string& text) {
#ifdef _WIN32
  std::string converted;
  for (const char c : text) {
    converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  return converted;
#else
  return text;
#endif
}

// The status of the command interpreter for a program it cannot find.
#ifdef _WIN32
constexpr int kNotFoundStatus = 9009;  // cmd.exe
#else
constexpr int kNotFoundStatus = 127;  // sh
#endif

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

  // Runs the program in work() with `input` on its standard input and
  // `arguments_` on its command line. A negative `zip_status` has the POSIX
  // stand-in end itself with that signal.
  Outcome Run(const std::string& input, Zip zip = Zip::kStandIn,
              int zip_status = 0, bool close_input = false);

  std::string arguments_;  // appended to the command line as they are
  std::string prefix_;     // POSIX: put before the program, e.g. setpriv

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

// Runs a command line of the test's own with sh; its exit status.
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Outcome EndToEnd::Run(const std::string& input, Zip zip, int zip_status,
                      bool close_input) {
  const fs::path bin = scratch_.path() / "bin";
  std::string path_variable = Quoted(bin);
  fs::remove(bin / "zip");
  if (zip != Zip::kNone) {
    // The stand-in copies maps as it is when zip starts, and notes whether
    // any process above it still holds the script open.
    const std::string finish = zip == Zip::kReal ? "exec /usr/bin/zip \"$@\"\n"
                               : zip_status < 0
                                   ? "echo 'stand-in zip: packing'\nkill -" +
                                         std::to_string(-zip_status) + " $$\n"
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
      "cd " + Quoted(work()) + " && PATH=" + path_variable + " " + prefix_ +
      Quoted(kProgram) + arguments_ + (close_input ? " <&-" : " <../in.txt") +
      " >../out.txt 2>../err.txt";
  const int status = std::system(command.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.out = ReadFile(scratch_.path() / "out.txt");
  outcome.err = ReadFile(scratch_.path() / "err.txt");
  return outcome;
}

#else

// The real zip and unzip are the Linux host's, reached through Wine: quoting
// and commands are for the host's sh.
std::string Quoted(const fs::path& path) { return HostQuoted(path); }

int Shell(const std::string& command) {
  std::string why;
  const int status = RunHostShell(command, fs::current_path(), &why);
  if (status < 0) {
    ADD_FAILURE() << why;
  }
  return status;
}

bool HostZipReachable() { return UnderWine(); }

// The reason the C library gives for creating maps/_loadout.gsc when maps is
// a regular file, found by trying it here: the program and this test use the
// same C runtime, and Windows words it differently from POSIX.
std::string ReasonForAFileUnderAFile() {
  const fs::path probe = fs::current_path() / "probe";
  fs::create_directory(probe);
  WriteFile(probe / "maps", "");
  errno = 0;
  std::FILE* file =
      std::fopen((probe / "maps/_loadout.gsc").string().c_str(), "wb");
  const int error = errno;
  EXPECT_EQ(nullptr, file) << "tarvelin: probing: a file was made under a file";
  if (file != nullptr) {
    std::fclose(file);
  }
  fs::remove_all(probe);
  return std::strerror(error);
}

// The stand-in zip.exe, built beside this test program.
fs::path StandInZip() {
  char own_name[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, own_name, MAX_PATH);
  EXPECT_TRUE(length > 0 && length < MAX_PATH)
      << "tarvelin: finding the stand-in zip: GetModuleFileName failed";
  return fs::path(own_name).parent_path() / ZIP_STAND_IN_FILE;
}

// Sets PATH for the life of the object: the program and the cmd.exe it starts
// inherit it.
class ScopedPath {
 public:
  explicit ScopedPath(const fs::path& directory) {
    const char* previous = std::getenv("PATH");
    had_previous_ = previous != nullptr;
    previous_ = had_previous_ ? previous : "";
    Set(directory.string());
  }
  ~ScopedPath() { Set(had_previous_ ? previous_ : ""); }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;

 private:
  static void Set(const std::string& value) {
    // _putenv keeps the C library's copy and the process's in step; an empty
    // value removes the variable.
    std::string assignment = "PATH=" + value;
    EXPECT_EQ(0, _putenv(assignment.c_str()))
        << "tarvelin: setting PATH: _putenv failed";
  }
  bool had_previous_ = false;
  std::string previous_;
};

// Starts the program directly with no standard input at all (cmd.exe cannot
// close a stream), stdout and stderr into files; its exit status.
int RunWithoutInput(const fs::path& program, const fs::path& directory,
                    const fs::path& out, const fs::path& err) {
  SECURITY_ATTRIBUTES inherited{};
  inherited.nLength = sizeof inherited;
  inherited.bInheritHandle = TRUE;
  const auto create = [&](const fs::path& path) {
    return CreateFileA(path.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                       &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  };
  const HANDLE out_file = create(out);
  const HANDLE err_file = create(err);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out_file;
  startup.hStdError = err_file;
  std::string command_line = "\"" + program.string() + "\"";
  PROCESS_INFORMATION process{};
  DWORD status = static_cast<DWORD>(-1);
  if (out_file != INVALID_HANDLE_VALUE && err_file != INVALID_HANDLE_VALUE &&
      CreateProcessA(program.string().c_str(), &command_line[0], nullptr,
                     nullptr, TRUE, 0, nullptr, directory.string().c_str(),
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "tarvelin: starting " << program.string() << ": error "
                  << GetLastError();
  }
  CloseHandle(out_file);
  CloseHandle(err_file);
  return static_cast<int>(status);
}

Outcome EndToEnd::Run(const std::string& input, Zip zip, int zip_status,
                      bool close_input) {
  const fs::path bin = scratch_.path() / "bin";
  std::error_code ignored;
  fs::remove(bin / "zip.exe", ignored);
  fs::remove(bin / "zip.cfg", ignored);
  if (zip != Zip::kNone) {
    fs::copy_file(StandInZip(), bin / "zip.exe");
    WriteFile(bin / "zip.cfg",
              record().string() + "\n" +
                  (zip == Zip::kReal ? std::string("host")
                                     : "exit " + std::to_string(zip_status)) +
                  "\n");
  }
  WriteFile(scratch_.path() / "in.txt", input);
  const fs::path out = scratch_.path() / "out.txt";
  const fs::path err = scratch_.path() / "err.txt";
  // Only bin on PATH: md, del and rd are built into cmd.exe, and nothing
  // else may answer to the name zip.
  const ScopedPath path(bin);
  Outcome outcome;
  if (close_input) {
    outcome.status = RunWithoutInput(kProgram, work(), out, err);
  } else {
    // cmd.exe /c drops the first and the last quote mark of a line holding
    // more than two; the outer pair is there to be dropped.
    const std::string command = "\"cd /d \"" + work().string() + "\" && \"" +
                                kProgram.string() + "\"" + arguments_ +
                                " <..\\in.txt >..\\out.txt 2>..\\err.txt\"";
    outcome.status = std::system(command.c_str());
  }
  outcome.out = ReadFile(out);
  outcome.err = ReadFile(err);
  return outcome;
}

#endif

}  // namespace

TEST_F(EndToEnd, WholeRunHandsZipAClosedScriptAndCleansUp) {
  const Outcome outcome = Run("3 6 9\n");
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(Console(kBanner + kMenu + kPrompts + kStandInSays), outcome.out);
  EXPECT_EQ("", outcome.err);
  EXPECT_EQ("-r\n./sc_loadout.pk3\n./maps\n", Recorded("args"));
#ifdef _WIN32
  // The line exactly as cmd.exe passed it on.
  EXPECT_EQ("zip -r ./sc_loadout.pk3 ./maps\n", Recorded("cmdline"));
#endif
  EXPECT_EQ(fs::canonical(work()).string() + "\n", Recorded("cwd"));
  EXPECT_EQ(ScriptFor369(), Recorded("maps/_loadout.gsc"));
  EXPECT_EQ("_loadout.gsc", Listing(record() / "maps"));
  EXPECT_EQ("0\n", Recorded("open"));
  EXPECT_EQ("sc_loadout.pk3", Listing(work()));
}

TEST_F(EndToEnd, EarlyEndPrintsTheDialogueOnly) {
  const Outcome outcome = Run("0\n");
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(Console(kBanner + kMenu + "Primary   >> "), outcome.out);
  EXPECT_EQ("", outcome.err);
  EXPECT_FALSE(ZipRan());
  EXPECT_EQ("", Listing(work()));
}

namespace {

// Runs a command line of the test's own and returns what it printed.
std::string Capture(const std::string& command, const fs::path& output) {
  const int status = Shell(command + " >" + Quoted(output));
  EXPECT_EQ(0, status) << command;
  return ReadFile(output);
}

// The real zip is always at hand on POSIX; on Windows it is the host's,
// reached through Wine only.
#ifdef _WIN32
#define SKIP_WITHOUT_HOST_ZIP()                                         \
  if (!HostZipReachable()) {                                            \
    GTEST_SKIP() << "the real zip is reached through Wine's host only"; \
  }
#else
#define SKIP_WITHOUT_HOST_ZIP()
#endif

}  // namespace

TEST_F(EndToEnd, RealZipStoresTheScriptInTheArchive) {
  SKIP_WITHOUT_HOST_ZIP();
  const Outcome outcome = Run("3\n6\n9\n", Zip::kReal);
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(0u, outcome.out.find(Console(kBanner + kMenu + kPrompts)));
  EXPECT_EQ("", outcome.err);
  EXPECT_EQ("sc_loadout.pk3", Listing(work()));
  EXPECT_EQ(ScriptFor369(),
            Capture("unzip -p " + Quoted(work() / "sc_loadout.pk3") +
                        " maps/_loadout.gsc",
                    record() / "unzipped"));
}

TEST_F(EndToEnd, RealZipPacksAnExistingMapsAndKeepsIt) {
  SKIP_WITHOUT_HOST_ZIP();
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
  SKIP_WITHOUT_HOST_ZIP();
  WriteFile(record() / "earlier.txt", "earlier entry\n");
  ASSERT_EQ(0, Shell("cd " + Quoted(record()) + " && zip -q " +
                     Quoted(work() / "sc_loadout.pk3") + " earlier.txt"));
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
  const std::string dialogue_to_primary =
      Console(kBanner + kMenu + "Primary   >> ");
#ifdef _WIN32
  const std::string under_a_file = ReasonForAFileUnderAFile();
#else
  const std::string under_a_file = "Not a directory";
#endif
  const Row rows[] = {
      {"maps is a regular file",
       [](const fs::path& work) { WriteFile(work / "maps", "mine"); },
       "3 6 9\n", Zip::kStandIn, 0, false, 1,
       "tarvelin: cannot write maps/_loadout.gsc: " + under_a_file + "\n",
       [](const fs::path& work, bool zip_ran) {
         EXPECT_FALSE(zip_ran);
         EXPECT_EQ("mine", ReadFile(work / "maps"));
         EXPECT_EQ("maps", Listing(work));
       }},
#ifndef _WIN32
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
#endif
      {"no zip on PATH", [](const fs::path&) {}, "3 6 9\n", Zip::kNone, 0,
       false, 0, kMadeWithoutZip,
       [](const fs::path& work, bool) {
         EXPECT_EQ("sc_loadout.pk3", Listing(work));
         EXPECT_EQ(ScriptFor369(), EntryOf(ReadFile(work / "sc_loadout.pk3"),
                                           "maps/_loadout.gsc"));
       }},
#ifndef _WIN32
      {"zip is killed", [](const fs::path&) {}, "3 6 9\n", Zip::kStandIn, -9,
       false, 1, not_made + "zip was ended by signal 9 (Killed)" + kept,
       script_kept},
#endif
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
#ifdef _WIN32
    if (row.zip == Zip::kReal && !HostZipReachable()) {
      continue;
    }
#endif
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
      const std::string line = Console(row.last_error_line);
      ASSERT_GE(outcome.err.size(), line.size()) << outcome.err;
      EXPECT_EQ(line, outcome.err.substr(outcome.err.size() - line.size()));
    }
    EXPECT_EQ(0u, outcome.out.find(dialogue_to_primary));
    row.check(work(), ZipRan());
  }
}

namespace {

// The archive passes every check of the zip readers at hand.
void ExpectReadersAccept(const fs::path& archive) {
  const std::string quoted = Quoted(archive);
  EXPECT_EQ(0, Shell("/usr/bin/unzip -tq " + quoted + " >/dev/null"));
  EXPECT_EQ(0, Shell("/usr/bin/zip -T " + quoted + " >/dev/null"));
  EXPECT_EQ(0, Shell("/usr/bin/python3 -c 'import sys, zipfile; "
                     "sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() "
                     "is not None)' " +
                     quoted));
}

// The names in an archive as unzip lists them, sorted, one a line.
std::string Names(const fs::path& archive, const fs::path& scratch) {
  return Capture("/usr/bin/unzip -Z1 " + Quoted(archive) + " | sort",
                 scratch / "names");
}

const std::string kNotMade = "tarvelin: sc_loadout.pk3 was not made: ";
const std::string kKept = "; the script is kept in maps/_loadout.gsc\n";

}  // namespace

TEST_F(EndToEnd, WithoutZipTheArchiveIsMadeAllTheSame) {
  const Outcome outcome = Run("3 6 9\n", Zip::kNone);
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(Console(kBanner + kMenu + kPrompts), outcome.out);
  EXPECT_EQ(Console(kMadeWithoutZip), outcome.err);
  EXPECT_EQ("sc_loadout.pk3", Listing(work()));
  const std::string archive = ReadFile(work() / "sc_loadout.pk3");
  EXPECT_EQ(ScriptFor369(), EntryOf(archive, "maps/_loadout.gsc"));
  EXPECT_EQ(2577u, EntryOf(archive, "maps/_loadout.gsc").size());
#ifdef _WIN32
  if (!HostZipReachable()) {
    return;  // no zip readers on Windows itself
  }
#endif
  EXPECT_EQ("maps/\nmaps/_loadout.gsc\n",
            Names(work() / "sc_loadout.pk3", record()));
  ExpectReadersAccept(work() / "sc_loadout.pk3");
}

// An existing archive and an existing maps: the same entries with the same
// bytes as zip makes of the same directory, side by side.
TEST_F(EndToEnd, WithoutZipAnArchiveIsUpdatedAsZipWouldUpdateIt) {
  SKIP_WITHOUT_HOST_ZIP();
  const fs::path start = record() / "start";
  const fs::path twin = record() / "twin";
  fs::create_directories(start / "maps" / "sub" / "deeper");
  WriteFile(start / "maps" / "other.gsc", "// mine\n");
  WriteFile(start / "maps" / ".hidden", "dot file\n");
  WriteFile(start / "maps" / "sub" / "deeper" / "deep.txt",
            std::string(5000, 'x'));
  WriteFile(start / "maps" / "sub" / "empty.txt", "");
  WriteFile(start / "earlier.txt", "earlier entry\n");
  fs::create_directory(start / "stale");
  fs::create_directory(start / "stale" / "maps");
  WriteFile(start / "stale" / "maps" / "_loadout.gsc", "stale script\n");
  ASSERT_EQ(0, Shell("cd " + Quoted(start) + " && /usr/bin/zip -q " +
                     "sc_loadout.pk3 earlier.txt && cd stale && " +
                     "/usr/bin/zip -q ../sc_loadout.pk3 maps/_loadout.gsc"));
  fs::remove(start / "earlier.txt");
  fs::remove_all(start / "stale");
  fs::create_directory(twin);
  for (const fs::path& into : {work(), twin}) {
    for (const auto& entry : fs::directory_iterator(start)) {
      fs::copy(entry.path(), into / entry.path().filename(),
               fs::copy_options::recursive);
    }
  }

  const Outcome outcome = Run("3 6 9\n", Zip::kNone);
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ(Console(kMadeWithoutZip), outcome.err);
  EXPECT_EQ("maps sc_loadout.pk3", Listing(work()));
  EXPECT_EQ(".hidden other.gsc sub", Listing(work() / "maps"));

  WriteFile(twin / "maps" / "_loadout.gsc", ScriptFor369());
  ASSERT_EQ(0, Shell("cd " + Quoted(twin) +
                     " && /usr/bin/zip -qr ./sc_loadout.pk3 ./maps"));
  const std::string names = Names(work() / "sc_loadout.pk3", record());
  EXPECT_EQ(Names(twin / "sc_loadout.pk3", record()), names);
  EXPECT_EQ(
      "earlier.txt\nmaps/\nmaps/.hidden\nmaps/_loadout.gsc\nmaps/other.gsc\n"
      "maps/sub/\nmaps/sub/deeper/\nmaps/sub/deeper/deep.txt\n"
      "maps/sub/empty.txt\n",
      names);
  const std::string ours = ReadFile(work() / "sc_loadout.pk3");
  const std::string zips = ReadFile(twin / "sc_loadout.pk3");
  for (const char* name :
       {"earlier.txt", "maps/.hidden", "maps/_loadout.gsc", "maps/other.gsc",
        "maps/sub/deeper/deep.txt", "maps/sub/empty.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(EntryOf(zips, name), EntryOf(ours, name));
  }
  ExpectReadersAccept(work() / "sc_loadout.pk3");
}

TEST_F(EndToEnd, WithoutZipABrokenArchiveIsLeftAsItIs) {
  // An end record saying the central directory is 46 bytes at offset 0.
  std::string directory_past_end("PK\5\6\0\0\0\0\1\0\1\0\56\0\0\0\0\0\0\0\0\0",
                                 22);
  struct Row {
    std::string what;
    std::string bytes;
    std::string reason;
  };
  const Row rows[] = {
      {"empty", "", "the file is empty"},
      {"not a zip archive", "not a zip archive\n",
       "no end of central directory record at the end"},
      {"central directory past the end", directory_past_end,
       "the central directory ends past the end of the file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(work());
    fs::create_directory(work());
    WriteFile(work() / "sc_loadout.pk3", row.bytes);
    const Outcome outcome = Run("3 6 9\n", Zip::kNone);
    EXPECT_EQ(1, outcome.status);
    EXPECT_EQ(Console(kNotMade +
                      "zip was not found; the existing sc_loadout.pk3 cannot "
                      "be read as a zip archive: " +
                      row.reason + kKept),
              outcome.err);
    EXPECT_EQ(row.bytes, ReadFile(work() / "sc_loadout.pk3"));
    EXPECT_EQ("maps sc_loadout.pk3", Listing(work()));
    EXPECT_EQ(ScriptFor369(), ReadFile(work() / "maps" / "_loadout.gsc"));
  }
}

#ifndef _WIN32
TEST_F(EndToEnd, WithoutZipADirectoryThatTakesNoNewFileLosesNothing) {
  // maps may be written, the directory around it may not: the archive's
  // temporary file cannot be made. Root may write anywhere, so root runs the
  // program as nobody.
  fs::create_directory(work() / "maps");
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, chown((work() / "maps").c_str(), 65534, 65534));
    prefix_ = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
  } else {
    fs::permissions(work(),
                    fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write,
                    fs::perm_options::remove);
  }
  const Outcome outcome = Run("3 6 9\n", Zip::kNone);
  fs::permissions(work(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ(kNotMade +
                "zip was not found; cannot write sc_loadout.pk3.tmp0: "
                "Permission denied" +
                kKept,
            outcome.err);
  EXPECT_EQ("maps", Listing(work()));
  EXPECT_EQ(ScriptFor369(), ReadFile(work() / "maps" / "_loadout.gsc"));
}
#else
TEST_F(EndToEnd, WithoutZipAnArchiveHeldOpenIsLeftAsItIs) {
  // A game holding the archive open without sharing its deletion: the new
  // archive cannot take its place.
  fs::create_directory(work() / "maps");
  ASSERT_EQ(0, std::system(
                   ("cd /d \"" + work().string() + "\" && echo.>maps\\keep.txt")
                       .c_str()));
  const Outcome first = Run("3 6 9\n", Zip::kNone);
  ASSERT_EQ(0, first.status);
  const std::string before = ReadFile(work() / "sc_loadout.pk3");
  const HANDLE held = CreateFileA(
      (work() / "sc_loadout.pk3").string().c_str(), GENERIC_READ,
      FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const Outcome outcome = Run("1 2 8\n", Zip::kNone);
  CloseHandle(held);
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ(0u, outcome.err.find(Console(kNotMade + "zip was not found; "
                                                    "cannot rename")))
      << outcome.err;
  EXPECT_EQ(before, ReadFile(work() / "sc_loadout.pk3"));
  EXPECT_EQ("maps sc_loadout.pk3", Listing(work()));
  EXPECT_EQ("_loadout.gsc keep.txt", Listing(work() / "maps"));
}
#endif

// Arguments are answered before anything is read: the answers piped in stay
// unread and nothing is written.
TEST_F(EndToEnd, ArgumentsAreAnsweredWithoutTouchingAnything) {
  struct Row {
    std::string arguments;
    int status;
    std::string out_starts;
    std::string err;
  };
  const Row rows[] = {
      {" --help", 0, "Usage: tarvelin [--help | --version]\n", ""},
      {" --version", 0, "tarvelin 1.1.0\n", ""},
      {" --bogus", 2, "",
       "tarvelin: unknown option '--bogus'; see 'tarvelin --help'\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    arguments_ = row.arguments;
    const Outcome outcome = Run("3 6 9\n");
    EXPECT_EQ(row.status, outcome.status);
    EXPECT_EQ(0u, outcome.out.find(Console(row.out_starts)));
    if (row.out_starts.empty()) {
      EXPECT_EQ("", outcome.out);
    }
    EXPECT_EQ(Console(row.err), outcome.err);
    EXPECT_EQ("", Listing(work()));
    EXPECT_FALSE(ZipRan());
  }
}

#ifdef _WIN32
// cmd.exe runs zip, so a zip.cmd on PATH serves as well as a zip.exe.
TEST_F(EndToEnd, AZipCmdOnPathIsRunThroughCmd) {
  WriteFile(record().parent_path() / "bin" / "zip.cmd",
            "@echo off\r\necho %*> \"" + (record() / "args").string() +
                "\"\r\nexit /b 7\r\n");
  const Outcome outcome = Run("3 6 9\n", Zip::kNone);
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ(Console(kNotMade + "zip exited with status 7" + kKept),
            outcome.err);
  EXPECT_EQ("-r ./sc_loadout.pk3 ./maps\r\n", Recorded("args"));
  EXPECT_EQ(ScriptFor369(), ReadFile(work() / "maps" / "_loadout.gsc"));
}
#endif
