#pragma once

// Reaching the Linux host from a Windows test program that runs under Wine:
// the real zip and unzip live there, out of sight of Wine's cmd.exe.
// Windows only.

#include <filesystem>
#include <string>

// True when this Windows program runs under Wine.
bool UnderWine();

// The host's name for a Windows path, e.g. Z:\tmp\x -> /tmp/x; "" if there is
// none (not under Wine, or no drive maps to the path).
std::string HostPath(const std::filesystem::path& path);

// The path quoted for the host's POSIX shell.
std::string HostQuoted(const std::filesystem::path& path);

// Runs `script` with the host's /bin/sh and waits until it has finished.
// `scratch` is a Windows directory for the files that carry the script and
// its exit status. Returns the exit status of the script, or -1 with the
// reason in `why` if it could not be run or did not finish in time.
//
// A Windows program cannot wait for a host program: Wine starts it, but the
// process handle says nothing about its end. So the script writes its exit
// status into a file when it is done, and we poll for that file.
int RunHostShell(const std::string& script,
                 const std::filesystem::path& scratch, std::string* why);
