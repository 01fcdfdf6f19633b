// ComError: how a member of an automation object raises an error. The
// dispatch layer catches it and hands number, description and source to the
// caller as exception information. Thrown and caught on one thread; it never
// leaves the dispatch layer.
#pragma once
#include <exception>
#include <string>

#include "platform/automation/hresult.h"
#include "platform/automation/ustring.h"

namespace tarnel {

class ComError : public std::exception {
 public:
  ComError(HRESULT hr, UString description, UString source = {})
      : hr_(hr), description_(std::move(description)), source_(std::move(source)) {}
  HRESULT hr() const noexcept { return hr_; }
  // The number a script sees (Err.Number).
  std::int32_t Number() const noexcept { return ErrorNumberFromHResult(hr_); }
  const UString& Description() const noexcept { return description_; }
  const UString& Source() const noexcept { return source_; }
  const char* what() const noexcept override;

 private:
  HRESULT hr_;
  UString description_;
  UString source_;
  mutable std::string what_;
};

// Raises run-time error n (1..65535) with its standard text unless given.
[[noreturn]] void RaiseError(int number, UString description = {}, UString source = {});
// Raises a failure code (an HRESULT) with a description.
[[noreturn]] void RaiseHResult(HRESULT hr, UString description = {}, UString source = {});

}  // namespace tarnel
