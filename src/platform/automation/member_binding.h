// Binds a C++ member function to a table entry: Bind<&Class::Method>() gives
// the MemberHandler that unpacks the coerced arguments into the function's
// parameters and packs its return value into the result. Parameters are
// references into the coerced arguments, so what the function writes into
// them is what the caller's by-reference variables receive.
//   int32_t& <- VT_I4, UString& <- VT_BSTR, double& <- VT_R8,
//   Variant& <- any declared type (an omitted optional argument arrives as
//   missing), Dispatch* <- VT_DISPATCH.
// Return types: void, int32_t, bool (VT_BOOL), double, UString, Variant,
// ComPtr<Dispatch>.
#pragma once
#include <tuple>
#include <type_traits>

#include "platform/automation/com_error.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/type_info.h"

namespace tarnel {
namespace binding {

template <class T>
T ArgOf(Variant& v);

template <>
inline std::int32_t& ArgOf<std::int32_t&>(Variant& v) {
  if (v.vt() != VT_I4) RaiseHResult(E_UNEXPECTED, u"parameter is not declared as Long");
  return v.lVal();
}
template <>
inline double& ArgOf<double&>(Variant& v) {
  if (v.vt() != VT_R8) RaiseHResult(E_UNEXPECTED, u"parameter is not declared as Double");
  return v.dblVal();
}
template <>
inline UString& ArgOf<UString&>(Variant& v) {
  if (v.vt() != VT_BSTR) RaiseHResult(E_UNEXPECTED, u"parameter is not declared as String");
  return v.bstrVal();
}
template <>
inline Variant& ArgOf<Variant&>(Variant& v) { return v; }
template <>
inline Dispatch* ArgOf<Dispatch*>(Variant& v) {
  if (v.vt() != VT_DISPATCH) RaiseHResult(E_UNEXPECTED, u"parameter is not declared as Object");
  return v.pdispVal();
}

inline void Put(Variant* r, std::int32_t x) { *r = Variant(x); }
inline void Put(Variant* r, bool x) { *r = Variant(x); }
inline void Put(Variant* r, double x) { *r = Variant(x); }
inline void Put(Variant* r, UString x) { *r = Variant(std::move(x)); }
inline void Put(Variant* r, Variant x) { *r = std::move(x); }
template <class T>
inline void Put(Variant* r, const ComPtr<T>& x) { *r = Variant(static_cast<Dispatch*>(x.get())); }

template <class C, class R, class... A, std::size_t... I>
void Call(R (C::*m)(A...), C* self, Variant* const* args, Variant* result, std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    (self->*m)(ArgOf<A>(*args[I])...);
  } else {
    Put(result, (self->*m)(ArgOf<A>(*args[I])...));
  }
}

template <auto M>
struct Binder;

template <class C, class R, class... A, R (C::*M)(A...)>
struct Binder<M> {
  static void Handle(void* self, Variant* const* args, Variant* result) {
    Call(M, static_cast<C*>(self), args, result, std::index_sequence_for<A...>{});
  }
};

}  // namespace binding

template <auto M>
constexpr MemberHandler Bind() {
  return &binding::Binder<M>::Handle;
}

}  // namespace tarnel
