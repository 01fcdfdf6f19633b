// Record over a recordset row, and the document-provider members that
// answer "feature not available".
#include "platform/adodb/record.h"

#include "platform/adodb/adodb_error.h"

namespace tarnel::adodb {

Record::Record() : row_(MakeObject<Recordset>()), properties_(MakeObject<Properties>()) {
  activeConnection_ = Variant(static_cast<Dispatch*>(nullptr));
}

Variant Record::GetActiveConnection() { return activeConnection_; }

void Record::LetActiveConnection(Variant& value) {
  if (row_->IsOpen()) RaiseAdo(adErrObjectOpen, kSrcRecord);
  activeConnection_ = value.Deref();
}

std::int32_t Record::GetState() { return row_->IsOpen() ? adStateOpen : adStateClosed; }

void Record::LetSource(Variant& value) {
  if (row_->IsOpen()) RaiseAdo(adErrObjectOpen, kSrcRecord);
  source_ = value.Deref();
}

void Record::LetMode(std::int32_t& value) {
  if (row_->IsOpen()) RaiseAdo(adErrObjectOpen, kSrcRecord);
  if (value < 0 || (value & ~(0x1F | 0x400000))) RaiseAdo(adErrInvalidArgument, kSrcRecord);
  mode_ = value;
}

Variant Record::GetParentURL() { return Variant::Null(); }

UString Record::MoveRecord(Variant&, Variant&, Variant&, Variant&, std::int32_t&, Variant&) {
  RaiseAdo(adErrFeatureNotAvailable, kSrcRecord);
}

UString Record::CopyRecord(Variant&, Variant&, Variant&, Variant&, std::int32_t&, Variant&) {
  RaiseAdo(adErrFeatureNotAvailable, kSrcRecord);
}

void Record::DeleteRecord(Variant&, Variant&) { RaiseAdo(adErrFeatureNotAvailable, kSrcRecord); }

ComPtr<Dispatch> Record::GetChildren() { RaiseAdo(adErrFeatureNotAvailable, kSrcRecord); }

void Record::Open(Variant& source, Variant&, std::int32_t& mode, std::int32_t&, std::int32_t& options, Variant&,
                  Variant&) {
  if (row_->IsOpen()) RaiseAdo(adErrObjectOpen, kSrcRecord);
  if (options != adOpenRecordUnspecified && options != 0) RaiseAdo(adErrFeatureNotAvailable, kSrcRecord);
  const Variant s = source.Deref().IsMissing() ? source_ : source.Deref();
  auto* from = s.vt() == VT_DISPATCH && s.pdispVal() ? dynamic_cast<Recordset*>(s.pdispVal()) : nullptr;
  if (!from) {
    // Only a row of a Recordset can be opened; URLs need a document provider.
    if (s.vt() == VT_BSTR) RaiseAdo(adErrFeatureNotAvailable, kSrcRecord);
    RaiseAdo(adErrInvalidArgument, kSrcRecord);
  }
  ComPtr<Recordset> copy = MakeObject<Recordset>();
  copy->OpenRowCopy(*from);
  row_ = copy;
  source_ = s;
  activeConnection_ = from->GetActiveConnection();
  if (mode != adModeUnknown) mode_ = mode;
}

void Record::Close() {
  if (!row_->IsOpen()) RaiseAdo(adErrObjectClosed, kSrcRecord);
  row_ = MakeObject<Recordset>();
}

ComPtr<Dispatch> Record::GetFields() { return row_->GetFields(); }

}  // namespace tarnel::adodb
