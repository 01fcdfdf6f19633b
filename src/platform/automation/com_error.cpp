// ComError: the error a member raises, with the standard text filled in for
// run-time error numbers when no description is given.
#include "platform/automation/com_error.h"

namespace tarnel {

const char* ComError::what() const noexcept {
  try {
    if (what_.empty()) what_ = std::to_string(Number()) + ": " + ToUtf8(description_);
    return what_.c_str();
  } catch (...) {
    return "automation error";
  }
}

void RaiseError(int number, UString description, UString source) {
  if (description.empty()) description = StandardErrorDescription(number);
  throw ComError(HResultFromErrorNumber(number), std::move(description), std::move(source));
}

void RaiseHResult(HRESULT hr, UString description, UString source) {
  if (description.empty()) description = StandardErrorDescription(ErrorNumberFromHResult(hr));
  throw ComError(hr, std::move(description), std::move(source));
}

}  // namespace tarnel
