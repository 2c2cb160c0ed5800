// The staging directory `maps`, the archive sc_loadout.pk3 (with zip, or
// without it), and the console window on Windows.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "loadout.h"
#include "zip_archive.h"

namespace fs = std::filesystem;

namespace {

// What a new entry needs to know of a file or directory on disk.
struct FileFacts {
  std::tm modified{};
  std::uint16_t version_made_by = 0;
  std::uint32_t external_attributes = 0;
};

}  // namespace

// Everything that differs between Windows and POSIX lives in this region.
#ifdef _WIN32

#include <sys/stat.h>
#include <windows.h>

namespace {

std::vector<std::string> SplitList(const char* list) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* c = list; c != nullptr && *c != '\0'; ++c) {
    if (*c == ';') {
      parts.push_back(part);
      part.clear();
    } else if (*c != '"') {
      part += *c;
    }
  }
  parts.push_back(part);
  return parts;
}

// Whether cmd.exe would find `program` as it looks for it: in the current
// directory, then along PATH, with each extension of PATHEXT.
bool FoundAsCmdFindsIt(const std::string& program) {
  const char* extensions = std::getenv("PATHEXT");
  std::vector<std::string> directories = SplitList(std::getenv("PATH"));
  directories.insert(directories.begin(), ".");
  for (const std::string& directory : directories) {
    if (directory.empty()) {
      continue;
    }
    for (const std::string& extension : SplitList(
             extensions != nullptr ? extensions : ".COM;.EXE;.BAT;.CMD")) {
      std::error_code ignored;
      if (!extension.empty() &&
          fs::is_regular_file(fs::path(directory) / (program + extension),
                              ignored)) {
        return true;
      }
    }
  }
  return false;
}

// cmd.exe finds zip.exe, zip.bat or zip.cmd on PATH, as the command line
// always did; it answers 9009 for a program it cannot find. Where we can
// tell there is none, cmd.exe is not asked, so its own complaint does not
// stand beside ours.
CommandResult StartAndWait(const std::vector<std::string>& arguments) {
  if (!FoundAsCmdFindsIt(arguments[0])) {
    CommandResult result;
    result.kind = CommandResult::Kind::kNotFound;
    return result;
  }
  std::string command_line;
  for (const std::string& argument : arguments) {
    command_line += (command_line.empty() ? "" : " ") + argument;
  }
  const int status = std::system(command_line.c_str());
  CommandResult result;
  if (status == -1) {
    result.kind = CommandResult::Kind::kNotStarted;
    result.reason = "the command interpreter could not be started";
  } else if (status == 9009) {
    result.kind = CommandResult::Kind::kNotFound;
  } else {
    result.value = status;
  }
  return result;
}

std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message =
      length > 0 ? std::string(text, length) : "error " + std::to_string(error);
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' ||
          message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

bool ReadFileFacts(const fs::path& path, FileFacts* facts, std::string* why) {
  struct _stat64 status {};
  if (_wstat64(path.c_str(), &status) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  const __time64_t modified = status.st_mtime;
  if (_localtime64_s(&facts->modified, &modified) != 0) {
    facts->modified = std::tm{};  // before 1980 as far as zip is concerned
  }
  // MS-DOS host: the attribute byte, directory or archive.
  facts->version_made_by = 20;
  facts->external_attributes = (status.st_mode & S_IFDIR) != 0 ? 0x10 : 0x20;
  return true;
}

// Writes `bytes` to a new file at `path` and flushes it to the disk. A file
// of that name is left alone (`name_taken`); a file half written is removed.
bool WriteNewFile(const fs::path& path, const std::string& bytes,
                  bool* name_taken, std::string* why) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *name_taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    *why = SystemMessage(error);
    return false;
  }
  bool written = true;
  std::size_t at = 0;
  while (written && at < bytes.size()) {
    const DWORD piece =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
    DWORD done = 0;
    written = WriteFile(file, bytes.data() + at, piece, &done, nullptr) != 0 &&
              done == piece;
    at += done;
  }
  written = written && FlushFileBuffers(file) != 0;
  if (!written) {
    *why = SystemMessage(GetLastError());
  }
  if (CloseHandle(file) == 0 && written) {
    *why = SystemMessage(GetLastError());
    written = false;
  }
  if (!written) {
    DeleteFileW(path.c_str());
  }
  return written;
}

bool ReplaceFile(const fs::path& from, const fs::path& to, std::string* why) {
  if (MoveFileExW(from.c_str(), to.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    *why = SystemMessage(GetLastError());
    return false;
  }
  return true;
}

// cmd.exe could not be started or found no zip: either way zip cannot run.
bool ZipCannotRun(const CommandResult& zip) {
  return zip.kind == CommandResult::Kind::kNotFound ||
         zip.kind == CommandResult::Kind::kNotStarted;
}

std::string DescribeSignal(int signal) { return std::to_string(signal); }

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

const char kPlatformHelpSwitch[] = "/?";

ConsoleFacts ReadConsoleFacts() {
  ConsoleFacts console;
  DWORD processes[2] = {0, 0};
  console.only_process_on_console = GetConsoleProcessList(processes, 2) == 1;
  console.input_is_console = IsConsole(STD_INPUT_HANDLE);
  console.output_is_console = IsConsole(STD_OUTPUT_HANDLE);
  return console;
}

void WaitForEnter(std::ostream& out) {
  out << "Press Enter to close this window.\n";
  out.flush();
  const HANDLE console =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (console == INVALID_HANDLE_VALUE) {
    return;
  }
  // Answers typed ahead must not count as the Enter asked for now.
  FlushConsoleInputBuffer(console);
  SetConsoleMode(
      console, ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
  char line[256];
  DWORD read = 0;
  while (ReadConsoleA(console, line, sizeof line, &read, nullptr) != 0 &&
         read > 0 && std::find(line, line + read, '\n') == line + read) {
  }
  CloseHandle(console);
}

#else

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// posix_spawnp searches PATH as the shell would, one process fewer.
CommandResult StartAndWait(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));  // NOLINT
  }
  argv.push_back(nullptr);
  CommandResult result;
  pid_t child = 0;
  const int error =
      posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (error == ENOENT) {
    result.kind = CommandResult::Kind::kNotFound;
    return result;
  }
  if (error != 0) {
    result.kind = CommandResult::Kind::kNotStarted;
    result.reason = std::strerror(error);
    return result;
  }
  int status = 0;
  while (waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) {
      result.kind = CommandResult::Kind::kNotStarted;
      result.reason =
          std::string("cannot wait for it: ") + std::strerror(errno);
      return result;
    }
  }
  if (WIFSIGNALED(status)) {
    result.kind = CommandResult::Kind::kSignalled;
    result.value = WTERMSIG(status);
  } else {
    result.value = WEXITSTATUS(status);
  }
  return result;
}

bool ReadFileFacts(const fs::path& path, FileFacts* facts, std::string* why) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (localtime_r(&status.st_mtime, &facts->modified) == nullptr) {
    facts->modified = std::tm{};  // before 1980 as far as zip is concerned
  }
  // Unix host, zip format version 3.0: the mode in the high half, and the
  // MS-DOS directory bit for readers that look only there.
  facts->version_made_by = 3 << 8 | 30;
  facts->external_attributes =
      static_cast<std::uint32_t>(status.st_mode & 0xFFFF) << 16 |
      (S_ISDIR(status.st_mode) ? 0x10 : 0);
  return true;
}

bool WriteNewFile(const fs::path& path, const std::string& bytes,
                  bool* name_taken, std::string* why) {
  const int file =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (file == -1) {
    *name_taken = errno == EEXIST;
    *why = std::strerror(errno);
    return false;
  }
  bool written = true;
  std::size_t at = 0;
  while (written && at < bytes.size()) {
    const ssize_t done = write(file, bytes.data() + at, bytes.size() - at);
    if (done > 0) {
      at += static_cast<std::size_t>(done);
    } else if (done == 0 || errno != EINTR) {
      if (done == 0) {
        errno = EIO;
      }
      written = false;
    }
  }
  if (written && fsync(file) != 0) {
    written = false;
  }
  if (!written) {
    *why = std::strerror(errno);
  }
  if (close(file) != 0 && written) {
    *why = std::strerror(errno);
    written = false;
  }
  if (!written) {
    unlink(path.c_str());
  }
  return written;
}

// Only a zip that is not there at all: one that is there but cannot be
// started (not executable, say) is the user's to mend.
bool ZipCannotRun(const CommandResult& zip) {
  return zip.kind == CommandResult::Kind::kNotFound;
}

std::string DescribeSignal(int signal) {
  return std::to_string(signal) + " (" + strsignal(signal) + ")";
}

bool ReplaceFile(const fs::path& from, const fs::path& to, std::string* why) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

const char kPlatformHelpSwitch[] = "";

ConsoleFacts ReadConsoleFacts() { return ConsoleFacts{}; }

void WaitForEnter(std::ostream&) {}

#endif

namespace {

const std::vector<std::string> kZipCommand = {"zip", "-r", "./sc_loadout.pk3",
                                              "./maps"};

// The largest archive without zip64: 4 GiB, its end record and comment.
constexpr std::uintmax_t kLargestArchive = 0xFFFFFFFFull + 22 + 0xFFFF;

bool ReadWholeFile(const fs::path& path, std::string* bytes, std::string* why) {
  errno = 0;
  std::ifstream file(path, std::ios_base::binary);
  if (!file.is_open()) {
    *why = errno != 0 ? std::strerror(errno) : "cannot open it";
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(file),
                std::istreambuf_iterator<char>());
  if (file.bad()) {
    *why = "cannot read it";
    return false;
  }
  return true;
}

// The entry for one file or directory below (or at) `maps`.
bool DescribeEntry(const fs::path& path, const std::string& name,
                   bool directory, std::vector<ZipInput>* inputs,
                   std::string* why) {
  FileFacts facts;
  ZipInput input;
  input.name = name;
  if (!ReadFileFacts(path, &facts, why) ||
      (!directory && !ReadWholeFile(path, &input.data, why))) {
    *why = "cannot read " + path.generic_u8string() + ": " + *why;
    return false;
  }
  ToDosDateTime(facts.modified, &input.dos_date, &input.dos_time);
  input.version_made_by = facts.version_made_by;
  input.external_attributes = facts.external_attributes;
  inputs->push_back(std::move(input));
  return true;
}

// Everything under `maps` as zip -r takes it: the directory itself, every
// file and directory below it, dot files included. A link to a file is
// stored as that file; a link to a directory is not followed, so a link back
// up cannot loop.
bool ListStagingDirectory(std::vector<ZipInput>* inputs, std::string* why) {
  const fs::path root = kStagingDirectory;
  if (!DescribeEntry(root, std::string(kStagingDirectory) + "/", true, inputs,
                     why)) {
    return false;
  }
  std::error_code error;
  fs::recursive_directory_iterator walk(root, error);
  std::vector<std::pair<std::string, fs::path>> found;
  for (; !error && walk != fs::recursive_directory_iterator();
       walk.increment(error)) {
    const fs::path& path = walk->path();
    const fs::file_status own = walk->symlink_status(error);
    if (error) {
      break;
    }
    bool directory = fs::is_directory(own);
    if (fs::is_symlink(own)) {
      const fs::file_status target = fs::status(path, error);
      error.clear();  // a dangling link is passed over
      if (!fs::is_regular_file(target)) {
        continue;
      }
      directory = false;
    } else if (!directory && !fs::is_regular_file(own)) {
      continue;  // sockets, pipes and devices are not files to pack
    }
    // Names relative to the current directory, '/'-separated, in UTF-8.
    std::string name = path.generic_u8string();
    if (directory) {
      name += '/';
    }
    found.emplace_back(std::move(name), path);
  }
  if (error) {
    *why = "cannot read " +
           (walk == fs::recursive_directory_iterator()
                ? root.generic_u8string()
                : walk->path().generic_u8string()) +
           ": " + error.message();
    return false;
  }
  // A directory's name is a prefix of everything in it, so it sorts first.
  std::sort(found.begin(), found.end());
  for (const auto& [name, path] : found) {
    if (!DescribeEntry(path, name, name.back() == '/', inputs, why)) {
      return false;
    }
  }
  return true;
}

// The names tried in turn for the new archive beside the old one.
fs::path TemporaryArchivePath(unsigned attempt) {
  return fs::path(std::string(kArchivePath) + ".tmp" + std::to_string(attempt));
}

// Removes the staged script and, if nothing else is left in it, `maps`.
void RemoveStagedScript() {
  std::error_code ignored;
  fs::remove(kScriptPath, ignored);
  // remove() deletes a directory only while it is empty. A `maps` that is a
  // link to a directory elsewhere is the user's and stays.
  if (fs::is_directory(fs::symlink_status(kStagingDirectory, ignored))) {
    fs::remove(kStagingDirectory, ignored);
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& arguments) {
  // The child writes to the same console: ours must be out first.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  if (arguments.empty()) {
    CommandResult result;
    result.kind = CommandResult::Kind::kNotStarted;
    result.reason = "no program given";
    return result;
  }
  return StartAndWait(arguments);
}

void PrepareStagingDirectory() {
  std::error_code ignored;
  fs::create_directory(kStagingDirectory, ignored);
}

bool PackWithoutZip(std::string* why) {
  std::vector<ZipInput> inputs;
  if (!ListStagingDirectory(&inputs, why)) {
    return false;
  }
  const fs::path archive = kArchivePath;
  std::error_code error;
  const fs::file_status status = fs::status(archive, error);
  std::string existing;
  bool exists = false;
  if (fs::exists(status)) {
    const std::uintmax_t size = fs::file_size(archive, error);
    if (!fs::is_regular_file(status) || error) {
      *why = "the existing " + archive.string() + " is not a file";
      return false;
    }
    if (size > kLargestArchive) {
      *why = "the existing " + archive.string() +
             " is larger than 4 GiB (zip64), not supported";
      return false;
    }
    if (!ReadWholeFile(archive, &existing, why)) {
      *why = "cannot read the existing " + archive.string() + ": " + *why;
      return false;
    }
    exists = true;
  }
  std::string bytes;
  if (!UpdateZipArchive(exists ? &existing : nullptr, inputs, &bytes, why)) {
    *why = (exists ? "the existing " + archive.string() +
                         " cannot be read as a zip archive: "
                   : std::string("cannot make the archive: ")) +
           *why;
    return false;
  }
  existing.clear();
  existing.shrink_to_fit();

  fs::path temporary;
  bool written = false;
  for (unsigned attempt = 0; attempt < 100 && !written; ++attempt) {
    temporary = TemporaryArchivePath(attempt);
    bool name_taken = false;
    written = WriteNewFile(temporary, bytes, &name_taken, why);
    if (!written && !name_taken) {
      *why = "cannot write " + temporary.string() + ": " + *why;
      return false;
    }
  }
  if (!written) {
    *why = "no free name for a temporary archive beside " + archive.string();
    return false;
  }
  if (exists) {
    // The updated archive keeps the old one's permissions, as with zip.
    fs::permissions(temporary, status.permissions(), error);
  }
  if (!ReplaceFile(temporary, archive, why)) {
    fs::remove(temporary, error);
    *why = "cannot rename " + temporary.string() + " to " + archive.string() +
           ": " + *why;
    return false;
  }
  return true;
}

bool PackageLoadout(std::string* why, std::string* note,
                    const CommandRunner& run) {
  const CommandResult zip = run(kZipCommand);
  if (ZipCannotRun(zip)) {
    const std::string cause = zip.kind == CommandResult::Kind::kNotFound
                                  ? std::string("zip was not found")
                                  : zip.reason;
    bool made = false;
    try {
      made = PackWithoutZip(why);
    } catch (const std::exception& error) {
      // Files too large to hold, or names this system cannot spell.
      *why = error.what();
    }
    if (!made) {
      *why = cause + "; " + *why;
      return false;
    }
    *note = cause + "; " + kArchivePath + " was made without it";
  } else if (zip.kind == CommandResult::Kind::kNotStarted) {
    *why = "zip could not be started: " + zip.reason;
    return false;
  } else if (zip.kind == CommandResult::Kind::kSignalled) {
    *why = "zip was ended by signal " + DescribeSignal(zip.value);
    return false;
  } else if (zip.value != 0) {
    *why = "zip exited with status " + std::to_string(zip.value);
    return false;
  }
  RemoveStagedScript();
  return true;
}

bool ShouldWaitForEnter(bool job_ran, const ConsoleFacts& console) {
  return job_ran && console.only_process_on_console &&
         console.input_is_console && console.output_is_console;
}
