// The ADO control's two event sources: the connection and the recordset
// whose events it forwards to its container.
// Not built yet: each member fails with a "not implemented" error.
#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"

namespace tarnel {

ComPtr<Dispatch> AdoControl::GetmoConnectionEventSource() {
  RaiseHResult(E_NOTIMPL, u"GetmoConnectionEventSource is not implemented");
}

void AdoControl::SetmoConnectionEventSource(Dispatch*) {
  RaiseHResult(E_NOTIMPL, u"SetmoConnectionEventSource is not implemented");
}

ComPtr<Dispatch> AdoControl::GetmoRecordsetEventSource() {
  RaiseHResult(E_NOTIMPL, u"GetmoRecordsetEventSource is not implemented");
}

void AdoControl::SetmoRecordsetEventSource(Dispatch*) {
  RaiseHResult(E_NOTIMPL, u"SetmoRecordsetEventSource is not implemented");
}

ComPtr<Dispatch> AdoControl::GetConnectionEventSource() {
  RaiseHResult(E_NOTIMPL, u"GetConnectionEventSource is not implemented");
}

void AdoControl::SetConnectionEventSource(Variant&) {
  RaiseHResult(E_NOTIMPL, u"SetConnectionEventSource is not implemented");
}

ComPtr<Dispatch> AdoControl::GetRecordsetEventSource() {
  RaiseHResult(E_NOTIMPL, u"GetRecordsetEventSource is not implemented");
}

void AdoControl::SetRecordsetEventSource(Variant&) {
  RaiseHResult(E_NOTIMPL, u"SetRecordsetEventSource is not implemented");
}

}  // namespace tarnel
