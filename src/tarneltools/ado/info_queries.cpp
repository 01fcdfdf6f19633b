// Reading a handle's connection string, query text and ADO errors.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

UString AdoControl::AdoInfo(std::int32_t&, UString&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoInfo is not implemented");
}

UString AdoControl::AdoErrMsg(std::int32_t&, UString&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoErrMsg is not implemented");
}

}  // namespace tarnel
