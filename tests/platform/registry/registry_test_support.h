// Helpers of the registry tests: a temporary directory that is removed with
// everything in it, and small file utilities.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"

namespace tarnel::registry_test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-reg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}


// Every key under keyPath (itself included) and every value, one line each,
// with names in their stored case and the data in hex: for comparing trees.
inline void DumpTree(RegistryStore& store, const UString& keyPath, std::vector<std::string>& out) {
  out.push_back("[" + ToUtf8(keyPath) + "]");
  for (const RegValueInfo& v : store.Values(keyPath)) {
    std::string line = "  \"" + ToUtf8(v.name) + "\" type " + std::to_string(v.value.type) + ":";
    static const char* kHex = "0123456789abcdef";
    for (std::uint8_t b : v.value.data) {
      line += kHex[b >> 4];
      line += kHex[b & 15];
    }
    out.push_back(line);
  }
  for (const UString& sub : store.SubKeys(keyPath)) DumpTree(store, keyPath + u"\\" + sub, out);
}

inline std::vector<std::string> DumpTree(RegistryStore& store, const UString& keyPath) {
  std::vector<std::string> out;
  DumpTree(store, keyPath, out);
  return out;
}

}  // namespace tarnel::registry_test
