// Running statements on a handle: the command text assembled in the slot
// (AdoSet, AdoAppend), AdoExec, which always starts its statement in the
// background and returns at once, and the queries a script polls while and
// after it runs (AdoExecuting, AdoRecordsetState, AdoNumChange).
#include "platform/apartment/apartment.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/ado/ado_binding.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

constexpr std::int32_t kAdOptionUnspecified = -1;
constexpr std::int32_t kAdAsyncExecute = 16;
constexpr std::int32_t kAdErrObjectClosed = 3704;

}  // namespace

std::int32_t AdoControl::AdoSet(std::int32_t& hADO, UString& sString) {
  if (!ValidHandle(hADO)) return 269;
  mSlots[hADO].sCommandText = sString;
  return 0;
}

std::int32_t AdoControl::AdoAppend(std::int32_t& hADO, UString& sString) {
  if (!ValidHandle(hADO)) return 269;
  mSlots[hADO].sCommandText += sString;
  return 0;
}

std::int32_t AdoControl::AdoExec(std::int32_t& hADO, UString& sCommand, std::int32_t& nOptions,
                                 std::int32_t& nTimeoutSecs) {
  std::int32_t result = 0;
  auto line = [&] {
    return u"AdoExec(" + DecimalText(hADO) + u", '" + sCommand + u"', " + DecimalText(nOptions) + u", " +
           DecimalText(nTimeoutSecs) + u") = " + DecimalText(result);
  };
  // Writes the error line; true when the method goes on (a closed object
  // met while closing the previous result).
  auto caught = [&](const ComError& e, bool closedIsHarmless) {
    DebugLog(line() + u" (" + DecimalText(e.Number()) + u" " + e.Description() + u")");
    return closedIsHarmless && e.Number() == kAdErrObjectClosed;
  };

  DebugLog(u"AdoExec() Begin");
  if (!ValidHandle(hADO)) {
    result = 269;  // BadHandleSpecified
    DebugLog(line());
    return result;
  }
  const std::int32_t h = hADO;
  SlotPin pin(mSlots);
  AdoSlot& slot = mSlots[h];

  // The previous result is closed and released. A statement that returned
  // no rows left it closed already, which is no reason to stop.
  if (!IsNothing(slot.oRecordset)) {
    try {
      CallByName(slot.oRecordset.get(), u"Close", DISPATCH_METHOD);
    } catch (const ComError& e) {
      if (!caught(e, true)) return e.Number();
    }
    slot.oRecordset.Reset();
  }

  try {
    if (nOptions == kAdOptionUnspecified) nOptions = 0;
    nOptions |= kAdAsyncExecute;
    // The control hears the events of the connection it executes on.
    Variant connectionValue(slot.oConnection.get());
    SetConnectionEventSource(connectionValue);
    if (sCommand.empty()) sCommand = slot.sCommandText;
    BeginStatement(h, slot.oConnection.get());
  } catch (const ComError& e) {
    caught(e, false);
    return e.Number();
  }
  DebugLog(u"AdoExec() mhADO=" + DecimalText(mhADO) + u" Executing=TRUE");

  try {
    // Waiting messages run once; they may call the control again, even give
    // this handle back, so the slot is looked at afresh afterwards.
    Apartment::Current().ProcessPending();
    if (IsNothing(slot.oConnection)) RaiseError(91);
    ComPtr<Dispatch> connection = slot.oConnection;
    Variant text(sCommand);
    Variant options(nOptions);
    Variant returned = CallByName(connection.get(), u"Execute", DISPATCH_METHOD, {text, Variant::Missing(), options});
    const Variant& value = returned.Target();
    ComPtr<Dispatch> recordset(value.vt() == VT_DISPATCH ? value.pdispVal() : nullptr);
    slot.oRecordset = recordset;
    AttachStatement(h, recordset.get(), nullptr);
  } catch (const ComError& e) {
    // The statement did not start (a closed connection included): its flag
    // must not stay set, and the caller learns why.
    StatementNotStarted(h);
    caught(e, false);
    return e.Number();
  }
  result = 0;
  DebugLog(line());
  return result;
}

std::int32_t AdoControl::AdoExecuting(std::int32_t& hADO) {
  const std::int32_t result = mSlots.At(hADO).bExecuting ? 1 : 0;
  // Scripts poll this in tight loops; a line of two numbers cannot fail to
  // form, so it is formed only when it will be written.
  if (DebugModeOn()) DebugLog(u"AdoExecuting(" + DecimalText(hADO) + u") = " + DecimalText(result));
  return result;
}

std::int32_t AdoControl::AdoRecordsetState(std::int32_t& hADO) {
  std::int32_t result = -1;
  if (ValidHandle(hADO) && !IsNothing(mSlots[hADO].oRecordset)) {
    Dispatch* recordset = mSlots[hADO].oRecordset.get();
    if (adodb::Recordset* early = AsRecordset(recordset)) {
      result = early->GetState();
    } else {
      result = ToInt32(CallByName(recordset, u"State", DISPATCH_PROPERTYGET));
    }
  }
  DebugLog(u"AdoRecordsetState(" + DecimalText(hADO) + u") = " + DecimalText(result));
  return result;
}

std::int32_t AdoControl::AdoNumChange(std::int32_t& hADO) {
  if (!ValidHandle(hADO)) return -1;
  return mSlots[hADO].nRecordsAffected;
}

}  // namespace tarnel
