// The number and description of an error that a database method caught, in
// the form its diagnostic line and its result show them: a ComError keeps the
// number the script would see, an exhausted memory is error 7, and any other
// failure is the generic failure code with its own text.
// Pure function of the exception being handled; call it only inside a catch
// block, on any thread.
#pragma once
#include <cstdint>

#include "platform/automation/ustring.h"

namespace tarnel {

struct CaughtError {
  std::int32_t number = 0;
  UString description;
};

// The error of the exception now being handled.
CaughtError CurrentError();

}  // namespace tarnel
