// tarnelhost: the Lua 5.4 script host. Everything it does is in the host
// library (host_main.cpp); this file only hands over the command line.
#include <string>
#include <vector>

#include "host/host_main.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  return tarnel::host::RunHost(args);
}
