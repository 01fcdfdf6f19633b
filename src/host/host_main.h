// The tarnelhost program: its command line and each of its modes (run a
// script, listen as the debug monitor, register or unregister a library,
// import or export .reg files). Runs on the process's main thread.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tarnel::host {

enum class HostMode { kScript, kMonitor, kRegisterServer, kUnregisterServer, kRegImport, kRegExport, kHelp };

struct HostOptions {
  HostMode mode = HostMode::kScript;
  bool debugOutput = false;
  std::optional<std::string> registryPath;
  std::string library;   // --regsvr / --unregsvr
  std::string file;      // --reg-import / --reg-export
  std::string key;       // --reg-export
  std::string script;
  std::vector<std::string> hostArgs;    // the command line before the script
  std::vector<std::string> scriptArgs;  // after it
  std::string problem;   // a usage error; empty when the command line is fine
};

HostOptions ParseCommandLine(const std::vector<std::string>& argv);

// The whole program; returns the exit status: 0 success, 1 a failed script
// or command (its error printed on standard error as "number:
// description"), 2 a usage error.
int RunHost(const std::vector<std::string>& argv);

}  // namespace tarnel::host
