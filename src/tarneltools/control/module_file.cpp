// Finding the library's own file with dladdr on one of its functions, and
// turning the path into the base name that diagnostic lines begin with.
#include "tarneltools/control/module_file.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace tarnel {
namespace {

std::string FindModuleFilePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&FindModuleFilePath), &info) == 0 || !info.dli_fname) return {};
  // dli_fname is the name the file was loaded under, possibly relative.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

}  // namespace

UString BaseNameOf(std::string_view path) {
  std::size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return FromUtf8(name);
}

const std::string& ModuleFilePath() {
  static const std::string path = FindModuleFilePath();
  return path;
}

const UString& ModuleBaseName() {
  static const UString name = BaseNameOf(ModuleFilePath());
  return name;
}

}  // namespace tarnel
