// Walking a handle's result set and reading its fields as text.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

std::int32_t AdoControl::AdoMove(std::int32_t&, UString&) {
  RaiseHResult(E_NOTIMPL, u"AdoMove is not implemented");
}

std::int32_t AdoControl::AdoNext(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoNext is not implemented");
}

UString AdoControl::AdoGetField(std::int32_t&, UString&, std::int32_t&, std::int32_t&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoGetField is not implemented");
}

std::int32_t AdoControl::AdoNoFields(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoNoFields is not implemented");
}

std::int32_t AdoControl::AdoFieldInfo(std::int32_t&, std::int32_t&, UString&, std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoFieldInfo is not implemented");
}

std::int32_t AdoControl::AdoRecordCount(std::int32_t&) {
  RaiseHResult(E_NOTIMPL, u"AdoRecordCount is not implemented");
}

}  // namespace tarnel
