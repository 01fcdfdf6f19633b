// Running statements on a handle in the background and the executing flag
// that the script polls.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

std::int32_t AdoControl::AdoSet(std::int32_t&, UString&) {
  RaiseHResult(E_NOTIMPL, u"AdoSet is not implemented");
}

std::int32_t AdoControl::AdoAppend(std::int32_t&, UString&) {
  RaiseHResult(E_NOTIMPL, u"AdoAppend is not implemented");
}

std::int32_t AdoControl::AdoExec(std::int32_t&, UString&, std::int32_t&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoExec is not implemented");
}

std::int32_t AdoControl::AdoExecuting(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoExecuting is not implemented");
}

std::int32_t AdoControl::AdoRecordsetState(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoRecordsetState is not implemented");
}

std::int32_t AdoControl::AdoNumChange(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoNumChange is not implemented");
}

}  // namespace tarnel
