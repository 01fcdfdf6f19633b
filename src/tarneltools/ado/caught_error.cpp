// Turns the exception a database method is handling into the number and
// description that its error line and its result carry.
#include "tarneltools/ado/caught_error.h"

#include <exception>
#include <new>

#include "platform/automation/com_error.h"

namespace tarnel {

CaughtError CurrentError() {
  try {
    throw;
  } catch (const ComError& e) {
    return {e.Number(), e.Description()};
  } catch (const std::bad_alloc&) {
    return {7, StandardErrorDescription(7)};
  } catch (const std::exception& e) {
    return {ErrorNumberFromHResult(E_FAIL), FromUtf8(e.what())};
  } catch (...) {
    return {ErrorNumberFromHResult(E_FAIL), StandardErrorDescription(ErrorNumberFromHResult(E_FAIL))};
  }
}

}  // namespace tarnel
