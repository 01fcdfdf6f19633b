// Command handles: prepared commands with parameters on a connection.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

std::int32_t AdoControl::AdoCmdCreate(std::int32_t&, UString&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdCreate is not implemented");
}

std::int32_t AdoControl::AdoCmdAddParm(std::int32_t&, UString&, Variant&, std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdAddParm is not implemented");
}

std::int32_t AdoControl::AdoCmdSetParm(std::int32_t&, UString&, Variant&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdSetParm is not implemented");
}

Variant AdoControl::AdoCmdGetParm(std::int32_t&, UString&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdGetParm is not implemented");
}

std::int32_t AdoControl::AdoCmdExec(std::int32_t&, std::int32_t&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdExec is not implemented");
}

std::int32_t AdoControl::AdoCmdClose(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdClose is not implemented");
}

std::int32_t AdoControl::AdoCmdState(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoCmdState is not implemented");
}

}  // namespace tarnel
