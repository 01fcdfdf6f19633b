// The ADO control's two event sources: the connection and the recordset
// whose events it forwards to its container. The members themselves are
// set without checks; the ConnectionEventSource and RecordsetEventSource
// properties accept a value only when its type name is the class's, and
// never fail: a value they cannot take is written as an error line.
#include "platform/adodb/adodb_types.h"
#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

namespace {

// The value as a reference to the ADO interface `iid`: an object that
// answers the class name but not the interface fails with a type mismatch.
ComPtr<Dispatch> AsAdoInterface(const Variant& value, const Guid& iid) {
  const Variant& v = value.Target();
  Unknown* object = nullptr;
  if (v.vt() == VT_DISPATCH) object = v.pdispVal();
  if (v.vt() == VT_UNKNOWN) object = v.punkVal();
  if (v.vt() == (VT_BYREF | VT_DISPATCH)) object = *static_cast<Dispatch**>(v.byref());
  void* out = nullptr;
  if (!object || Failed(object->QueryInterface(iid, &out)) || !out) RaiseError(13);
  return ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(out));
}

}  // namespace

ComPtr<Dispatch> AdoControl::GetmoConnectionEventSource() { return moConnectionEventSource; }

void AdoControl::SetmoConnectionEventSource(Dispatch* value) {
  // Subscribe first, so that a failure leaves the member as it was.
  mSubscriptions.ForwardConnection(*this, value);
  moConnectionEventSource = ComPtr<Dispatch>(value);
  mSubscriptions.Prune(mStatements);
}

ComPtr<Dispatch> AdoControl::GetmoRecordsetEventSource() { return moRecordsetEventSource; }

void AdoControl::SetmoRecordsetEventSource(Dispatch* value) {
  mSubscriptions.ForwardRecordset(*this, value);
  moRecordsetEventSource = ComPtr<Dispatch>(value);
}

ComPtr<Dispatch> AdoControl::GetConnectionEventSource() { return moConnectionEventSource; }

void AdoControl::SetConnectionEventSource(Variant& value) {
  try {
    const UString name = TypeName(value);
    if (name == u"Connection") {
      ComPtr<Dispatch> connection = AsAdoInterface(value, adodb::IID_Connection);
      SetmoConnectionEventSource(connection.get());
      DebugLog(u"ConnectionEventSource([" + name + u"])");
    } else {
      SetmoConnectionEventSource(nullptr);
      DebugLog(u"ConnectionEventSource([Nothing])");
    }
  } catch (const ComError& e) {
    DebugLog(u"ConnectionEventSource() Error: " + e.Description());
  }
}

ComPtr<Dispatch> AdoControl::GetRecordsetEventSource() { return moRecordsetEventSource; }

void AdoControl::SetRecordsetEventSource(Variant& value) {
  try {
    const UString name = TypeName(value);
    if (name == u"Recordset") {
      ComPtr<Dispatch> recordset = AsAdoInterface(value, adodb::IID_Recordset);
      SetmoRecordsetEventSource(recordset.get());
      DebugLog(u"RecordsetEventSource([" + name + u"])");
    } else {
      SetmoRecordsetEventSource(nullptr);
      DebugLog(u"RecordsetEventSource([Nothing])");
    }
  } catch (const ComError& e) {
    DebugLog(u"RecordsetEventSource() Error: " + e.Description());
  }
}

}  // namespace tarnel
