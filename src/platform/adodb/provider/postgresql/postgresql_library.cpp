// Loading libpq by name at the first PostgreSQL connection.
#include "platform/adodb/provider/postgresql/postgresql_library.h"

#include <dlfcn.h>

namespace tarnel::adodb::provider {
namespace {

// The client library's name as its run-time package installs it.
constexpr const char* kLibraryName = "libpq.so.5";

struct Loaded {
  PqFunctions functions;
  std::string error;  // empty when loaded
};

Loaded Load() {
  Loaded loaded;
  // Kept for the life of the process: connections may outlive any owner.
  void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    loaded.error = std::string("The PostgreSQL client library ") + kLibraryName + " could not be loaded" +
                   (why ? std::string(": ") + why : std::string(".")) ;
    return loaded;
  }
#define TARNEL_PQ_RESOLVE(name)                                                                         \
  loaded.functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));                  \
  if (!loaded.functions.name && loaded.error.empty()) {                                                 \
    loaded.error = std::string("The PostgreSQL client library ") + kLibraryName + " has no " #name "."; \
  }
  TARNEL_PQ_FUNCTIONS(TARNEL_PQ_RESOLVE)
#undef TARNEL_PQ_RESOLVE
  return loaded;
}

const Loaded& Library() {
  static const Loaded loaded = Load();
  return loaded;
}

}  // namespace

const PqFunctions* LoadPqLibrary(std::string& error) {
  const Loaded& loaded = Library();
  if (!loaded.error.empty()) {
    error = loaded.error;
    return nullptr;
  }
  return &loaded.functions;
}

const PqFunctions& Pq() { return Library().functions; }

}  // namespace tarnel::adodb::provider
