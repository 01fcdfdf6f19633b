// Calling objects by name: GetIDsOfNames then Invoke with the arguments in
// dispatch order, and the translation of a failed call into a ComError that
// carries the number and description a script should see.
#include "platform/automation/dispatch.h"

#include <algorithm>

#include "platform/automation/com_error.h"

namespace tarnel {

void RaiseDispatchFailure(HRESULT hr, const ExcepInfo& excep, UStringView memberName, std::uint32_t argErr,
                          std::uint32_t argCount) {
  if (hr == DISP_E_EXCEPTION) {
    HRESULT code = excep.scode != S_OK ? excep.scode : ControlError(excep.wCode);
    UString description = excep.bstrDescription;
    if (description.empty()) description = StandardErrorDescription(ErrorNumberFromHResult(code));
    throw ComError(code, std::move(description), excep.bstrSource);
  }
  UString description = StandardErrorDescription(ErrorNumberFromHResult(hr));
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTOPTIONAL) && argErr < argCount) {
    // argErr is the rgvarg index; scripts count arguments from the first.
    description += u" (argument " + DecimalText(argCount - argErr) + u" of '" + UString(memberName) + u"')";
  } else if (hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) {
    description += u" ('" + UString(memberName) + u"')";
  }
  throw ComError(hr, std::move(description));
}

Variant CallByName(Dispatch* object, UStringView name, std::uint16_t flags, std::vector<Variant> args) {
  if (!object) RaiseError(91);
  UString member(name);
  DispId id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(&member, 1, &id);
  if (Failed(hr)) RaiseDispatchFailure(DISP_E_UNKNOWNNAME, ExcepInfo{}, name, 0, 0);
  std::reverse(args.begin(), args.end());
  DispParams params;
  params.rgvarg = args.data();
  params.cArgs = static_cast<std::uint32_t>(args.size());
  static const DispId kPut = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &kPut;
    params.cNamedArgs = 1;
  }
  Variant result;
  ExcepInfo excep;
  std::uint32_t argErr = 0;
  hr = object->Invoke(id, flags, &params, &result, &excep, &argErr);
  if (Failed(hr)) RaiseDispatchFailure(hr, excep, name, argErr, params.cArgs);
  return result;
}

}  // namespace tarnel
