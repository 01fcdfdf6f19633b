// Connection handles: AdoConnect opens a connection in the background and
// hands out the slot that holds it, AdoConnectionState reports the state the
// script polls, and AdoDisconnect closes what the handle holds and frees the
// slot whatever goes wrong on the way.
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/ado/ado_binding.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

constexpr std::int32_t kAdUseClient = 3;
constexpr std::int32_t kAdAsyncConnect = 16;

// Calls a method without arguments by name, ignoring any error.
void CloseIgnoringErrors(Dispatch* object) {
  try {
    CallByName(object, u"Close", DISPATCH_METHOD);
  } catch (const ComError&) {
  }
}

}  // namespace

std::int32_t AdoControl::AdoConnect(UString& sConnection, std::int32_t& nTimeoutSec) {
  const UString call = u"AdoConnect('" + sConnection + u"', " + DecimalText(nTimeoutSec) + u")";
  DebugLog(call);
  std::int32_t h = -1;
  ComPtr<adodb::Connection> connection;
  try {
    h = NextFreeHandle();
    connection = MakeObject<adodb::Connection>();
    // From here on the slot is in use.
    mSlots[h].oConnection = ComPtr<Dispatch>(connection->AsDispatch());
    std::int32_t timeout = nTimeoutSec;
    connection->LetConnectionTimeout(timeout);
    std::int32_t location = kAdUseClient;
    connection->LetCursorLocation(location);
    Variant connectionString(sConnection);
    Variant userId(u"");
    Variant password(u"");
    std::int32_t options = kAdAsyncConnect;
    connection->Open(connectionString, userId, password, options);
    SetConnections(mnConnections + 1);
    return h;
  } catch (const ComError& e) {
    DebugLog(call + u" Error: " + DecimalText(e.Number()) + u" " + e.Description());
    // No handle for the slot reaches the script, so the slot is given back
    // rather than kept with its unopened connection.
    if (connection && h >= 0 && h <= mSlots.UBound() &&
        mSlots[h].oConnection.get() == static_cast<Dispatch*>(connection->AsDispatch())) {
      mSlots[h].oConnection.Reset();
    }
    return -1;
  }
}

std::int32_t AdoControl::AdoConnectionState(std::int32_t& hADO) {
  std::int32_t result = -1;
  if (ValidHandle(hADO)) {
    Dispatch* connection = mSlots[hADO].oConnection.get();
    if (adodb::Connection* early = AsConnection(connection)) {
      result = early->GetState();
    } else {
      result = ToInt32(CallByName(connection, u"State", DISPATCH_PROPERTYGET));
    }
  }
  DebugLog(u"AdoConnectionState() = " + DecimalText(result));
  return result;
}

std::int32_t AdoControl::AdoDisconnect(std::int32_t& hADO) {
  std::int32_t result = 269;  // BadHandleSpecified
  if (ValidHandle(hADO)) {
    SlotPin pin(mSlots);
    AdoSlot& slot = mSlots[hADO];
    // Each step goes on whatever the previous one raised. Closing may raise
    // events that call back into the control; the pin keeps the slot where
    // it is meanwhile.
    if (!IsNothing(slot.oRecordset)) CloseIgnoringErrors(slot.oRecordset.get());
    slot.oRecordset.Reset();
    if (ComPtr<Dispatch> connection = slot.oConnection) CloseIgnoringErrors(connection.get());
    slot.oConnection.Reset();
    slot.oCommand.Reset();
    slot.sCommandText.clear();
    slot.bExecuting = VARIANT_FALSE;
    slot.nRecordsAffected = 0;
    // A statement of this handle that is still running now completes
    // nothing that the control awaits.
    ForgetStatements(hADO);
    SetConnections(mnConnections - 1);
    result = 0;
  }
  DebugLog(u"AdoDisconnect(" + DecimalText(hADO) + u") = " + DecimalText(result));
  return result;
}

}  // namespace tarnel
