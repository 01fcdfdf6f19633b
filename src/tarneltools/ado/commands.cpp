// Command handles: a prepared ADO Command on the connection of a connection
// handle, kept in a slot of its own that shares that connection. A script
// creates it with AdoCmdCreate, adds and changes its parameters (the
// command's own Parameters collection holds them; the engine binds their
// values), runs it in the background with AdoCmdExec, reads output values
// with AdoCmdGetParm and gives the handle back with AdoCmdClose, which
// releases what the slot holds and leaves the shared connection open.
#include <limits>

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/ado/caught_error.h"
#include "tarneltools/ado/late_binding.h"
#include "tarneltools/control/ado_control.h"
#include "tarneltools/control/type_library.h"

namespace tarnel {

namespace {

constexpr std::int32_t kAdOptionUnspecified = -1;
constexpr std::int32_t kAdAsyncExecute = 16;

// The text of a value in a diagnostic line: "" for Empty and Null, else its
// text form; a value without one (an object without a default value, an
// array) fails with the conversion's error.
UString ValueText(const Variant& value) {
  const Variant& v = value.Target();
  if (v.IsEmpty() || v.IsNull()) return {};
  return TextOf(v);
}

// A positive Long as the unsigned byte that Precision and NumericScale take;
// above 255 it overflows (error 6), as the conversion to Byte does.
Variant ByteValue(std::int32_t value) {
  if (value < 0 || value > 255) RaiseError(6);
  return Variant::UI1(static_cast<std::uint8_t>(value));
}

// The parameter of `command` named `sName`, by the collection's own lookup.
ComPtr<Dispatch> ParameterNamed(Dispatch* command, const UString& sName) {
  ComPtr<Dispatch> parameters = ObjectOf(GetProperty(command, u"Parameters"));
  return ObjectOf(CallByName(parameters.get(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(sName)}));
}

// The connection count one step up or down; a count that would leave the
// Long range overflows (error 6).
std::int32_t Stepped(std::int32_t count, std::int32_t step) {
  if ((step > 0 && count == std::numeric_limits<std::int32_t>::max()) ||
      (step < 0 && count == std::numeric_limits<std::int32_t>::min()))
    RaiseError(6);
  return count + step;
}

}  // namespace

std::int32_t AdoControl::AdoCmdCreate(std::int32_t& hADO, UString& sCommand) {
  std::int32_t result = -1;
  if (ValidHandle(hADO)) {
    const std::int32_t hCommand = NextFreeHandle();
    if (sCommand.empty()) sCommand = mSlots[hADO].sCommandText;
    ComPtr<Dispatch> connection = mSlots[hADO].oConnection;
    SlotPin pin(mSlots);
    // From here the new slot is taken; a failure gives it back, so that no
    // slot stays in use without a handle that reached the script.
    mSlots[hCommand].oConnection = connection;
    try {
      ComPtr<Dispatch> command = CreateObject(u"ADODB.Command");
      mSlots[hCommand].oCommand = command;
      SetProperty(command.get(), u"ActiveConnection", connection.get());
      LetProperty(command.get(), u"CommandText", Variant(sCommand));
      SetConnections(Stepped(mnConnections, +1));
    } catch (...) {
      mSlots[hCommand].oCommand.Reset();
      mSlots[hCommand].oConnection.Reset();
      throw;
    }
    result = hCommand;
  }
  DebugLog(u"AdoCmdCreate(hADO=" + DecimalText(hADO) + u", Cmd='" + sCommand + u"') = " + DecimalText(result));
  return result;
}

std::int32_t AdoControl::AdoCmdAddParm(std::int32_t& hCommand, UString& sName, Variant& vValue, std::int32_t& nDataType,
                                       std::int32_t& nDirection, std::int32_t& nSizeBytes, std::int32_t& nPrecision,
                                       std::int32_t& nNumericScale) {
  DebugLog(u"AdoCmdAddParm() Begin");
  // The line needs the value's text: a value without one fails the call
  // before the command is touched.
  const Variant value = vValue.Target();
  const UString call = u"AdoCmdAddParm(hCmd=" + DecimalText(hCommand) + u", sName='" + sName + u"', Value='" +
                       ValueText(value) + u"', Type=" + DecimalText(nDataType) + u", Direction=" +
                       DecimalText(nDirection) + u", SizeBytes=" + DecimalText(nSizeBytes) + u", Precision=" +
                       DecimalText(nPrecision) + u", Scale=" + DecimalText(nNumericScale) + u")";
  try {
    std::int32_t result = BadHandleSpecified;
    if (ValidHandle(hCommand)) {
      ComPtr<Dispatch> command = mSlots[hCommand].oCommand;
      // A parameter that fails before it is appended is dropped with it.
      ComPtr<Dispatch> parameter =
          ObjectOf(CallByName(command.get(), u"CreateParameter", DISPATCH_METHOD,
                              {Variant(sName), Variant(nDataType), Variant(nDirection), Variant(nSizeBytes), value}));
      if (nPrecision > 0) LetProperty(parameter.get(), u"Precision", ByteValue(nPrecision));
      if (nNumericScale > 0) LetProperty(parameter.get(), u"NumericScale", ByteValue(nNumericScale));
      ComPtr<Dispatch> parameters = ObjectOf(GetProperty(command.get(), u"Parameters"));
      CallByName(parameters.get(), u"Append", DISPATCH_METHOD, {Variant(parameter.get())});
      result = NoError;
    }
    DebugLog(call + u" = " + DecimalText(result));
    return result;
  } catch (...) {
    // A caught error must not read as success.
    const CaughtError error = CurrentError();
    DebugLog(call + u" Error " + DecimalText(error.number) + u" " + error.description);
    return InvalidArgument;
  }
}

std::int32_t AdoControl::AdoCmdSetParm(std::int32_t& hCommand, UString& sName, Variant& vValue) {
  const Variant value = vValue.Target();
  const UString valueText = ValueText(value);
  std::int32_t result = BadHandleSpecified;
  if (ValidHandle(hCommand)) {
    ComPtr<Dispatch> command = mSlots[hCommand].oCommand;
    LetProperty(ParameterNamed(command.get(), sName).get(), u"Value", value);
    result = NoError;
  }
  DebugLog(u"AdoCmdSetParm(hCmd=" + DecimalText(hCommand) + u", Name='" + sName + u"', Value='" + valueText + u"') = " +
           DecimalText(result));
  return result;
}

Variant AdoControl::AdoCmdGetParm(std::int32_t& hCommand, UString& sName) {
  if (ValidHandle(hCommand)) {
    try {
      ComPtr<Dispatch> command = mSlots[hCommand].oCommand;
      return GetProperty(ParameterNamed(command.get(), sName).get(), u"Value");
    } catch (const ComError&) {
      // No such parameter, or no command in the slot: nothing to return.
    }
  }
  RaiseHResult(kObjectErrorBase);
}

std::int32_t AdoControl::AdoCmdExec(std::int32_t& hCommand, std::int32_t& nOptions, std::int32_t& nTimeoutSecs) {
  DebugLog(u"AdoCmdExec() Begin");
  // True from marking the slot as executing until Execute has returned: a
  // failure in between means the statement never started.
  bool starting = false;
  try {
    std::int32_t result = BadHandleSpecified;
    if (ValidHandle(hCommand)) {
      if (nOptions == kAdOptionUnspecified) nOptions = 0;
      nOptions |= kAdAsyncExecute;
      ComPtr<Dispatch> command = mSlots[hCommand].oCommand;
      ComPtr<Dispatch> connection = mSlots[hCommand].oConnection;
      BeginStatement(hCommand, connection.get());
      starting = true;
      DebugLog(u"AdoCmdExec() mhADO=" + DecimalText(mhADO) + u" Executing=TRUE");
      LetProperty(command.get(), u"CommandTimeout", Variant(nTimeoutSecs));
      Variant activeConnection = GetProperty(command.get(), u"ActiveConnection");
      SetConnectionEventSource(activeConnection);
      ComPtr<Dispatch> recordset = ObjectOf(CallByName(command.get(), u"Execute", DISPATCH_METHOD,
                                                       {Variant::Missing(), Variant::Missing(), Variant(nOptions)}));
      AttachStatement(hCommand, recordset.get(), command.get());
      starting = false;
      // The previous recordset is released, not closed. A handler that ran
      // inside Execute may have given the handle back; a free slot gets none.
      if (ValidHandle(hCommand)) mSlots[hCommand].oRecordset = recordset;
      result = NoError;
    }
    DebugLog(u"AdoCmdExec(" + DecimalText(hCommand) + u", " + DecimalText(nOptions) + u", " +
             DecimalText(nTimeoutSecs) + u") = " + DecimalText(result));
    return result;
  } catch (...) {
    const CaughtError error = CurrentError();
    // The statement did not start: no completion will clear the flag, so a
    // script polling AdoExecuting would wait for ever.
    if (starting) StatementNotStarted(hCommand);
    DebugLog(u"AdoCmdExec(" + DecimalText(hCommand) + u", " + DecimalText(nOptions) + u", " +
             DecimalText(nTimeoutSecs) + u") Error " + DecimalText(error.number) + u" " + error.description);
    return InvalidArgument;
  }
}

std::int32_t AdoControl::AdoCmdClose(std::int32_t& hCommand) {
  DebugLog(u"AdoCmdClose(" + DecimalText(hCommand) + u")");
  std::int32_t result = BadHandleSpecified;
  if (ValidHandle(hCommand)) {
    {
      // Releasing may run code that calls the control again; the slot stays
      // where it is meanwhile. Nothing is closed: the connection stays open
      // for its own handle and the other commands on it.
      SlotPin pin(mSlots);
      AdoSlot& slot = mSlots[hCommand];
      slot.oCommand.Reset();
      slot.oRecordset.Reset();
      slot.oConnection.Reset();
    }
    // A statement of the handle still running credits no slot once the
    // handle is given back, so the flag its completion would have cleared
    // is cleared now; otherwise the slot's next occupant would report a
    // statement executing for ever. (StatementNotStarted forgets the
    // statement and clears the flag unless a completion already did.)
    StatementNotStarted(hCommand);
    SetConnections(Stepped(mnConnections, -1));
    result = NoError;
  }
  DebugLog(u"AdoCmdClose(" + DecimalText(hCommand) + u") = " + DecimalText(result));
  return result;
}

std::int32_t AdoControl::AdoCmdState(std::int32_t& hCommand) {
  std::int32_t result = BadHandleSpecified;
  if (ValidHandle(hCommand) && !IsNothing(mSlots[hCommand].oCommand)) {
    ComPtr<Dispatch> command = mSlots[hCommand].oCommand;
    result = ToInt32(GetProperty(command.get(), u"State"));
  }
  DebugLog(u"AdoCmdState(" + DecimalText(hCommand) + u") = " + DecimalText(result));
  return result;
}

}  // namespace tarnel
