// Transactions on a handle's connection.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

std::int32_t AdoControl::AdoBeginTran(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoBeginTran is not implemented");
}

std::int32_t AdoControl::AdoCommit(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoCommit is not implemented");
}

std::int32_t AdoControl::AdoRollBack(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoRollBack is not implemented");
}

}  // namespace tarnel
