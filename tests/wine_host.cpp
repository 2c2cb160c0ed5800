// Reaching the Linux host from a Windows test program that runs under Wine.
// Built on Windows only (tests/CMakeLists.txt); elsewhere this file is
// empty, for tools that read every source.
#ifdef _WIN32

#include "wine_host.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Wine's own exports; absent on Windows.
using UnixFileName = char*(CDECL*)(LPCWSTR);
using DosFileName = WCHAR*(CDECL*)(LPCSTR);

template <typename Function>
Function WineExport(const char* module, const char* name) {
  const HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream file(path, std::ios_base::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The Windows name of a host path, e.g. /bin/sh -> Z:\bin\sh.
fs::path DosPath(const std::string& host_path) {
  const auto dos_file_name =
      WineExport<DosFileName>("kernel32.dll", "wine_get_dos_file_name");
  if (dos_file_name == nullptr) {
    return {};
  }
  WCHAR* name = dos_file_name(host_path.c_str());
  if (name == nullptr) {
    return {};
  }
  fs::path path(name);
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

}  // namespace

bool UnderWine() {
  return WineExport<void*>("ntdll.dll", "wine_get_version") != nullptr;
}

std::string HostPath(const fs::path& path) {
  const auto unix_file_name =
      WineExport<UnixFileName>("kernel32.dll", "wine_get_unix_file_name");
  if (unix_file_name == nullptr) {
    return "";
  }
  char* name = unix_file_name(fs::absolute(path).wstring().c_str());
  if (name == nullptr) {
    return "";
  }
  std::string host_path(name);
  HeapFree(GetProcessHeap(), 0, name);
  return host_path;
}

std::string HostQuoted(const fs::path& path) {
  std::string quoted = "'";
  for (const char c : HostPath(path)) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

int RunHostShell(const std::string& script, const fs::path& scratch,
                 std::string* why) {
  static std::atomic<unsigned> counter{0};
  const std::string stem = "host-shell-" +
                           std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(counter++);
  const fs::path job = scratch / (stem + ".sh");
  const fs::path status = scratch / (stem + ".status");
  const fs::path partial = scratch / (stem + ".status.part");
  const fs::path shell = DosPath("/bin/sh");
  if (shell.empty() || HostPath(job).empty()) {
    *why = "tarvelin: host shell: not running under Wine";
    return -1;
  }
  {
    // The status is written to one name and moved to the other, so the
    // poll never reads half a number.
    std::ofstream file(job, std::ios_base::binary | std::ios_base::trunc);
    file << "(\n"
         << script << "\n)\n"
         << "echo $? > " << HostQuoted(partial) << "\n"
         << "mv " << HostQuoted(partial) << " " << HostQuoted(status) << "\n";
    if (!file) {
      *why = "tarvelin: host shell: cannot write " + job.string();
      return -1;
    }
  }
  std::string command_line =
      "\"" + shell.string() + "\" \"" + HostPath(job) + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    *why = "tarvelin: host shell: cannot start /bin/sh: error " +
           std::to_string(GetLastError());
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(120);
  std::error_code ignored;
  while (!fs::exists(status, ignored)) {
    if (std::chrono::steady_clock::now() > deadline) {
      *why = "tarvelin: host shell: no exit status after 120 s from " +
             job.string();
      return -1;
    }
    Sleep(5);
  }
  const std::string text = ReadWhole(status);
  fs::remove(job, ignored);
  fs::remove(status, ignored);
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    *why = "tarvelin: host shell: unreadable exit status \"" + text + "\"";
    return -1;
  }
}

#endif  // _WIN32
