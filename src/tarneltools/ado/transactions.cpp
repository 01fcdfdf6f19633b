// Transactions on a handle's connection: AdoBeginTran, AdoCommit and
// AdoRollBack call BeginTrans, CommitTrans and RollbackTrans on the
// connection in the handle's slot (a command handle shares its connection),
// and turn the outcome into NoError, BadHandleSpecified or SqlDatabase with
// one diagnostic line. Nesting, and what a transaction covers, are the
// connection's own; the control keeps no transaction state.
#include "platform/automation/dispatch.h"
#include "tarneltools/ado/caught_error.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/control/type_library.h"

namespace tarnel {

namespace {

// Calls `adoMethod` on the connection of the handle's slot (when the handle
// is valid) and forms the method's line under `lineName`. Never throws past
// the forming of the line: every error of the call becomes SqlDatabase.
std::int32_t CallTransaction(AdoSlotTable& slots, std::int32_t hADO, const char16_t* adoMethod,
                             const char16_t* lineName, UString& line) {
  const UString head = UString(lineName) + u"(" + DecimalText(hADO) + u") = ";
  try {
    std::int32_t result = BadHandleSpecified;
    if (slots.ValidHandle(hADO)) {
      // Hold the connection: an event handler that runs inside the call may
      // give the handle back.
      ComPtr<Dispatch> connection = slots[hADO].oConnection;
      CallByName(connection.get(), adoMethod, DISPATCH_METHOD);
      result = NoError;
    }
    line = head + DecimalText(result);
    return result;
  } catch (...) {
    const CaughtError error = CurrentError();
    line = head + DecimalText(SqlDatabase) + u" Error " + DecimalText(error.number) + u" " + error.description;
    return SqlDatabase;
  }
}

}  // namespace

std::int32_t AdoControl::AdoBeginTran(std::int32_t& hADO) {
  UString line;
  const std::int32_t result = CallTransaction(mSlots, hADO, u"BeginTrans", u"AdoBeginTran", line);
  DebugLog(line);
  return result;
}

std::int32_t AdoControl::AdoCommit(std::int32_t& hADO) {
  UString line;
  const std::int32_t result = CallTransaction(mSlots, hADO, u"CommitTrans", u"AdoCommit", line);
  DebugLog(line);
  return result;
}

std::int32_t AdoControl::AdoRollBack(std::int32_t& hADO) {
  UString line;
  const std::int32_t result = CallTransaction(mSlots, hADO, u"RollbackTrans", u"AdoRollBack", line);
  DebugLog(line);
  return result;
}

}  // namespace tarnel
