// Connection handles: opening a connection in the background, its state,
// and giving the handle back.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

std::int32_t AdoControl::AdoConnect(UString&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoConnect is not implemented");
}

std::int32_t AdoControl::AdoConnectionState(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoConnectionState is not implemented");
}

std::int32_t AdoControl::AdoDisconnect(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoDisconnect is not implemented");
}

}  // namespace tarnel
