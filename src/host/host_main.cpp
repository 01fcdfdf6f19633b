// The tarnelhost program: parsing the command line and running the chosen
// mode, with every failure printed as "number: description".
#include "host/host_main.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "host/script_error.h"
#include "host/script_host.h"
#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/debugout/debug_monitor.h"
#include "platform/debugout/debug_output.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry_store.h"

namespace tarnel::host {
namespace {

constexpr char kUsage[] =
    "usage: tarnelhost [--debug-output] [--registry PATH] SCRIPT.lua [ARGS...]\n"
    "       tarnelhost --monitor\n"
    "       tarnelhost [--registry PATH] --regsvr LIB | --unregsvr LIB\n"
    "       tarnelhost [--registry PATH] --reg-import FILE | --reg-export KEY FILE\n";

// Writes all of text to a descriptor in as few calls as it takes.
void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void PrintError(const ScriptError& error) {
  std::fflush(stdout);
  WriteAll(STDERR_FILENO, error.Text() + "\n");
}

int Fail(const ScriptError& error) {
  PrintError(error);
  return 1;
}

int RunScript(const HostOptions& options) {
  RegisterHostClasses();
  UseProcessRegistryForClasses();
  if (options.debugOutput) {
    AttachDebugger([](std::string_view bytes) {
      std::string line(bytes);
      line += '\n';
      WriteAll(STDERR_FILENO, line);  // one write per line, whole lines from any thread
    });
  }
  bool ok = false;
  std::string errorText;
  {
    ScriptHost host;
    ok = host.RunFile(options.script, options.hostArgs, options.scriptArgs, errorText);
    std::fflush(stdout);
    if (!ok) WriteAll(STDERR_FILENO, errorText + "\n");
  }
  std::fflush(stdout);
  if (options.debugOutput) DetachDebugger();
  return ok ? 0 : 1;
}

DebugMonitor* volatile g_monitor = nullptr;

extern "C" void StopMonitor(int) {
  if (DebugMonitor* monitor = g_monitor) monitor->Stop();
}

int RunMonitor() {
  DebugMonitor monitor;
  g_monitor = &monitor;
  struct sigaction action {};
  action.sa_handler = StopMonitor;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  WriteAll(STDERR_FILENO, "listening on " + monitor.Path() + "\n");
  monitor.Run([](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  });
  g_monitor = nullptr;
  return 0;
}

// Calls a library's DllRegisterServer or DllUnregisterServer, as regsvr32.
int RunRegisterServer(const std::string& library, bool unregister) {
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const std::string where = std::string(entry) + " in '" + library + "'";
  char resolved[PATH_MAX];
  if (!::realpath(library.c_str(), resolved)) return Fail(ScriptError::Standard(53, library));
  // Loaded by its full path, so the library registers where it really is.
  dlerror();
  void* handle = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return Fail(ScriptError::Standard(48, library + ": " + (why ? why : "cannot load")));
  }
  auto function = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entry));
  if (!function) return Fail(ScriptError::Standard(453, where));
  HRESULT hr = function();
  if (Failed(hr)) {
    ScriptError error;
    error.number = ErrorNumberFromHResult(hr);
    error.description = ToUtf8(StandardErrorDescription(error.number)) + " (" + where + ")";
    return Fail(error);
  }
  std::printf("%s succeeded.\n", where.c_str());
  return 0;
}

}  // namespace

HostOptions ParseCommandLine(const std::vector<std::string>& argv) {
  HostOptions options;
  bool modeSet = false;
  auto setMode = [&](HostMode mode) {
    if (modeSet && options.mode != mode) options.problem = "only one of --monitor, --regsvr, --unregsvr, --reg-import, --reg-export";
    if (modeSet && options.mode == mode) options.problem = "an option is given twice";
    options.mode = mode;
    modeSet = true;
  };
  std::size_t i = 1;
  auto value = [&](const std::string& option) -> std::string {
    if (i + 1 >= argv.size()) {
      options.problem = option + " needs a value";
      return {};
    }
    return argv[++i];
  };
  for (; i < argv.size() && options.problem.empty(); ++i) {
    const std::string& a = argv[i];
    if (a == "--debug-output") {
      options.debugOutput = true;
    } else if (a == "--registry") {
      options.registryPath = value(a);
    } else if (a.rfind("--registry=", 0) == 0) {
      options.registryPath = a.substr(11);
    } else if (a == "--monitor") {
      setMode(HostMode::kMonitor);
    } else if (a == "--regsvr" || a == "--unregsvr") {
      setMode(a == "--regsvr" ? HostMode::kRegisterServer : HostMode::kUnregisterServer);
      options.library = value(a);
    } else if (a == "--reg-import") {
      setMode(HostMode::kRegImport);
      options.file = value(a);
    } else if (a == "--reg-export") {
      setMode(HostMode::kRegExport);
      options.key = value(a);
      if (options.problem.empty()) options.file = value(a);
    } else if (a == "--help" || a == "-h") {
      setMode(HostMode::kHelp);
    } else if (a == "--") {
      ++i;
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      options.problem = "unknown option " + a;
    } else {
      break;
    }
  }
  if (!options.problem.empty()) return options;
  if (options.registryPath && options.registryPath->empty()) {
    options.problem = "--registry needs a path";
    return options;
  }
  if (options.mode != HostMode::kScript) {
    if (i < argv.size()) options.problem = "unexpected argument " + argv[i];
    return options;
  }
  if (i >= argv.size()) {
    options.problem = "no script given";
    return options;
  }
  options.hostArgs.assign(argv.begin(), argv.begin() + static_cast<std::ptrdiff_t>(i));
  options.script = argv[i];
  options.scriptArgs.assign(argv.begin() + static_cast<std::ptrdiff_t>(i) + 1, argv.end());
  return options;
}

int RunHost(const std::vector<std::string>& argv) {
  HostOptions options = ParseCommandLine(argv);
  if (!options.problem.empty()) {
    WriteAll(STDERR_FILENO, "tarnelhost: " + options.problem + "\n" + kUsage);
    return 2;
  }
  if (options.mode == HostMode::kHelp) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (options.registryPath) RegistryStore::SetProcessPath(*options.registryPath);
    switch (options.mode) {
      case HostMode::kScript: return RunScript(options);
      case HostMode::kMonitor: return RunMonitor();
      case HostMode::kRegisterServer: return RunRegisterServer(options.library, false);
      case HostMode::kUnregisterServer: return RunRegisterServer(options.library, true);
      case HostMode::kRegImport: ImportRegFile(RegistryStore::Process(), options.file); return 0;
      case HostMode::kRegExport: ExportRegFile(RegistryStore::Process(), FromUtf8(options.key), options.file); return 0;
      case HostMode::kHelp: break;
    }
  } catch (const RegistryError& e) {
    // The registry's own numbers (2 for a missing key, 13 for a bad file).
    return Fail(ScriptError{static_cast<std::int32_t>(e.Number()), e.what(), {}});
  } catch (...) {
    return Fail(ErrorFromCurrentException());
  }
  return 0;
}

}  // namespace tarnel::host
