// Record: one row seen as an object, here a copy of the current row of a
// Recordset (Record.Open with a Recordset as its source), with its Fields.
// The document-provider half of Record (URLs, children, copying and moving
// resources) does not exist over SQL engines and answers 3251. A Record
// raises no events. Apartment-thread only.
#pragma once
#include "platform/adodb/properties.h"
#include "platform/adodb/recordset.h"

namespace tarnel::adodb {

class Record final : public DispatchObject<Record> {
 public:
  Record();
  static const TypeInfo& Type();
  static const CoClassInfo* Class();

  Variant GetActiveConnection();
  void LetActiveConnection(Variant& value);
  std::int32_t GetState();
  Variant GetSource() { return source_; }
  void LetSource(Variant& value);
  std::int32_t GetMode() { return mode_; }
  void LetMode(std::int32_t& value);
  Variant GetParentURL();
  UString MoveRecord(Variant& source, Variant& destination, Variant& userName, Variant& password,
                     std::int32_t& options, Variant& async);
  UString CopyRecord(Variant& source, Variant& destination, Variant& userName, Variant& password,
                     std::int32_t& options, Variant& async);
  void DeleteRecord(Variant& source, Variant& async);
  void Open(Variant& source, Variant& activeConnection, std::int32_t& mode, std::int32_t& createOptions,
            std::int32_t& options, Variant& userName, Variant& password);
  void Close();
  ComPtr<Dispatch> GetFields();
  std::int32_t GetRecordType() { return adSimpleRecord; }
  ComPtr<Dispatch> GetChildren();
  void Cancel() {}
  ComPtr<Dispatch> GetProperties() { return properties_; }

 private:
  ComPtr<Recordset> row_;  // the one-row copy (closed while the Record is)
  Variant source_;
  Variant activeConnection_;
  std::int32_t mode_ = adModeRead;
  ComPtr<Properties> properties_;
};

}  // namespace tarnel::adodb
