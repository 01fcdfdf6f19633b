// Helpers of the library's tests: a plain automation object to put into
// slots, a throwaway registry store for the process, and a debugger that
// records every line of debugger output.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/debugout/debug_output.h"
#include "platform/registry/registry_store.h"

namespace tarnel {

// An object with no members, standing in for an ADO object in a slot.
class TestObject final : public DispatchObject<TestObject> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(u"TestObject", MakeGuid("9E0B4C61-3A7D-4F12-8B5E-6C2D1A0F9E37"), TypeKind::Dispatch, {});
    return type;
  }
  static const CoClassInfo* Class() { return nullptr; }
  static ComPtr<TestObject> Make() { return MakeObject<TestObject>(); }
  // The number of references held on object, the caller's included.
  static std::uint32_t Refs(const ComPtr<TestObject>& object) {
    object->AddRef();
    return object->Release();
  }
};

// Points the process's registry store at a fresh file for the lifetime of
// the object, and removes the file afterwards.
class ScopedRegistry {
 public:
  ScopedRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    RegistryStore::SetProcessPath((dir_ / "registry.db").string());
  }
  ~ScopedRegistry() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  RegistryStore& Store() { return RegistryStore::Process(); }

 private:
  std::filesystem::path dir_;
};

// Attaches itself as the process's debugger and keeps every line it gets.
class DebugCapture {
 public:
  DebugCapture() {
    AttachDebugger([this](std::string_view bytes) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(bytes);
    });
  }
  ~DebugCapture() { DetachDebugger(); }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace tarnel
