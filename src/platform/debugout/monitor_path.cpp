// The per-user location of the debug monitor socket and the ownership and
// permission checks on its directory, shared by the writing side (which
// refuses to send into a directory it does not trust) and the monitor
// (which creates the directory).
#include "platform/debugout/monitor_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace tarnel {

std::string DebugMonitorPath() {
  const char* overridden = std::getenv(kDebugMonitorVariable);
  if (overridden != nullptr && *overridden != '\0') return overridden;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    std::string base(runtime);
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base != "/") return base + "/tarnel/debug-monitor.sock";
  }
  return "/tmp/tarnel-" + std::to_string(geteuid()) + "/debug-monitor.sock";
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

DirectoryProblem CheckPrivateDirectory(const std::string& directory) {
  struct stat info {};
  if (lstat(directory.c_str(), &info) != 0) {
    const int error = errno;
    return {error, "cannot examine the directory " + directory};
  }
  if (S_ISLNK(info.st_mode)) return {ELOOP, directory + " is a symbolic link, not a directory"};
  if (!S_ISDIR(info.st_mode)) return {ENOTDIR, directory + " is not a directory"};
  if (info.st_uid != geteuid())
    return {EPERM, directory + " belongs to user " + std::to_string(info.st_uid) + ", not to user " +
                       std::to_string(geteuid())};
  if ((info.st_mode & 077) != 0)
    return {EACCES, directory + " is open to other users (mode 0" +
                        std::to_string((info.st_mode >> 6) & 7) + std::to_string((info.st_mode >> 3) & 7) +
                        std::to_string(info.st_mode & 7) + "); it must be 0700"};
  return {};
}

void EnsurePrivateDirectory(const std::string& directory) {
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    const int error = errno;
    throw std::system_error(error, std::generic_category(), "cannot create the directory " + directory);
  }
  if (const DirectoryProblem problem = CheckPrivateDirectory(directory))
    throw std::system_error(problem.error, std::generic_category(), problem.reason);
}

}  // namespace tarnel
