// End-to-end tests through the script host: a fixture that registers the
// built TarnelTools.so in a scratch registry with the built tarnelhost and
// runs Lua scripts there, capturing exit status, standard output and
// standard error. Tests skip when tarnelhost is not built.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarnel {

struct HostOutput {
  int status = -1;
  std::string out;
  std::string err;
};

class HostScriptFixture : public ::testing::Test {
 protected:
  // Single quotes for the shell.
  static std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
  static std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void SetUp() override {
    host_ = std::filesystem::path(TARNEL_BINARY_DIR) / "tarnelhost";
    if (!std::filesystem::exists(host_)) GTEST_SKIP() << "tarnelhost is not built";
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-scripts-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    const auto library = std::filesystem::path(TARNEL_BINARY_DIR) / "TarnelTools.so";
    ASSERT_EQ(Host("--regsvr " + Quoted(library.string())).status, 0);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

  // Runs tarnelhost with the arguments (already quoted for the shell).
  // `env` holds extra arguments of env(1), such as "-u NAME".
  HostOutput Host(const std::string& args, const std::string& env = "") {
    const auto out = dir_ / "out.txt", err = dir_ / "err.txt";
    const std::string command = "env " + env + " TARNEL_REGISTRY=" + Quoted((dir_ / "registry.db").string()) +
                                " timeout 120 " + Quoted(host_.string()) + " " + args + " >" + Quoted(out.string()) +
                                " 2>" + Quoted(err.string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
  }
  // Writes `code` to a script file and runs it with --debug-output.
  HostOutput RunScript(const std::string& code, const std::string& args = "") {
    const auto script = dir_ / "script.lua";
    std::ofstream(script) << code;
    return Host("--debug-output " + Quoted(script.string()) + " " + args);
  }

  std::filesystem::path dir_;
  std::filesystem::path host_;
};

}  // namespace tarnel
