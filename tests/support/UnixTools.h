// Reaching the Linux side from a test under Wine: Unix paths of Windows paths, and running shell
// commands (GNU split, cat, truncate) as independent references.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The Unix path Wine maps a Windows path to; empty when Wine cannot map it.
std::string UnixPathOf(const std::string& WinPath);
// Quotes Text for a POSIX shell.
std::string ShellQuote(const std::string& Text);
// Runs "/bin/sh -c Script" as a Linux process and returns its exit code (0xFFFFFFFF when it could
// not be started or timed out).
DWORD RunUnixShell(const std::string& Script, DWORD TimeoutMs = 60000);

} // namespace testsupport
