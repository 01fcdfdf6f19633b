// RegistryError: how the registry store reports a failure. It carries the
// number of the system error code the Windows registry functions return for
// the same condition (2 for a missing key, 5 for access denied, 1009 for a
// corrupt store, ...) and a description naming the key or file concerned.
// A plain value type; safe to copy and throw across threads.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/automation/hresult.h"

namespace tarnel {

// The registry's error numbers (the Windows system error codes).
enum class RegErrorCode : std::uint32_t {
  kFileNotFound = 2,        // key or value does not exist
  kPathNotFound = 3,        // unknown root or no root in a key path
  kAccessDenied = 5,        // read-only store, root key, key with subkeys
  kInvalidData = 13,        // value data of the wrong size; malformed .reg file
  kInvalidParameter = 87,   // a name that is empty, too long or has forbidden characters
  kBusy = 170,              // another process held the store longer than the wait
  kBadDb = 1009,            // the store file is not a valid store
  kBadKey = 1010,           // a malformed key path
  kCantOpen = 1011,         // the store file cannot be opened or created
  kIoFailed = 1016,         // reading or writing the store file failed
  kUnsupportedType = 1630,  // value data read as a type it does not have
};

class RegistryError : public std::runtime_error {
 public:
  RegistryError(RegErrorCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  RegErrorCode code() const noexcept { return code_; }
  // The error number (the Windows system error code).
  std::uint32_t Number() const noexcept { return static_cast<std::uint32_t>(code_); }
  // The failure code of the same error: 0x80070000 + number.
  HRESULT HResult() const noexcept { return MakeHResult(0x80070000u | (Number() & 0xFFFFu)); }

 private:
  RegErrorCode code_;
};

}  // namespace tarnel
