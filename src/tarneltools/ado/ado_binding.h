// Early-bound access to the data access objects that a slot holds: the
// handle-based methods call the platform's Connection and Recordset classes
// directly when an object answers their interface, instead of calling every
// member by name. An object that does not answer the interface (another
// implementation behind the same dispatch interface) gives null, and the
// caller falls back to calls by name.
// Thread rule: apartment thread only, like the objects. The pointers
// returned borrow the caller's reference; they hold none of their own.
#pragma once
#include "platform/adodb/connection.h"
#include "platform/adodb/fields.h"
#include "platform/adodb/recordset.h"

namespace tarnel {

// The object as the class T when it answers T's interface `iid`, else null.
template <class T>
T* EarlyBound(Dispatch* object, const Guid& iid) {
  if (!object) return nullptr;
  void* out = nullptr;
  if (Failed(object->QueryInterface(iid, &out)) || !out) return nullptr;
  auto* dispatch = static_cast<Dispatch*>(out);
  dispatch->Release();  // the caller's reference keeps the object alive
  return static_cast<T*>(dispatch);
}

// Holds object in `hold` for the length of a call that may run other code
// (events reaching the container), and gives it as the class T when it
// answers T's interface `iid`, else null: one reference either way, the
// query's own when it succeeds.
template <class T>
T* HoldEarlyBound(Dispatch* object, const Guid& iid, ComPtr<Dispatch>& hold) {
  void* out = nullptr;
  if (object && Succeeded(object->QueryInterface(iid, &out)) && out) {
    hold = ComPtr<Dispatch>::Adopt(static_cast<Dispatch*>(out));
    return static_cast<T*>(hold.get());
  }
  hold = ComPtr<Dispatch>(object);
  return nullptr;
}

inline adodb::Connection* AsConnection(Dispatch* object) {
  return EarlyBound<adodb::Connection>(object, adodb::Connection::Type().Id());
}
inline adodb::Recordset* AsRecordset(Dispatch* object) {
  return EarlyBound<adodb::Recordset>(object, adodb::Recordset::Type().Id());
}

}  // namespace tarnel
