// Error and Errors: the provider diagnostics that a Connection collected for
// its last failed operation (Number, Description, Source, SQLState,
// NativeError). The collection is refilled when a new provider error
// arrives and emptied by Clear; successful operations leave it alone.
// Apartment-thread only, like the Connection that owns the collection.
#pragma once
#include <vector>

#include "platform/adodb/provider/error.h"
#include "platform/automation/dispatch_object.h"

namespace tarnel::adodb {

class Error final : public DispatchObject<Error> {
 public:
  explicit Error(const provider::ErrorRecord& record);
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  std::int32_t Number() { return number_; }
  UString Source() { return source_; }
  UString Description() { return description_; }
  UString HelpFile() { return {}; }
  std::int32_t HelpContext() { return 0; }
  UString SQLState() { return sqlState_; }
  std::int32_t NativeError() { return nativeError_; }

 private:
  std::int32_t number_;
  UString source_;
  UString description_;
  UString sqlState_;
  std::int32_t nativeError_;
};

class Errors final : public DispatchObject<Errors> {
 public:
  static const TypeInfo& Type();
  static const CoClassInfo* Class() { return nullptr; }

  // Replaces the contents with the records of a failed (or warning)
  // operation; nothing changes when `records` is empty.
  void Fill(const std::vector<provider::ErrorRecord>& records);
  // The first error, or null (for the pError argument of events).
  Error* First() const { return items_.empty() ? nullptr : items_.front().get(); }

  std::int32_t Count();
  ComPtr<Dispatch> Item(Variant& index);
  void Refresh() {}
  void Clear() { items_.clear(); }

 private:
  std::vector<ComPtr<Error>> items_;
};

// An Error object for one of the object model's own errors (the pError of
// an event whose operation a handler cancelled: 3712).
ComPtr<Error> MakeAdoError(int number, const char16_t* source);

}  // namespace tarnel::adodb
