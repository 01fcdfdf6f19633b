// Binds a C++ member function to a table entry: Bind<&Class::Method>() gives
// the MemberHandler that unpacks the coerced arguments into the function's
// parameters and packs its return value into the result. Parameters are
// references into the coerced arguments, so what the function writes into
// them is what the caller's by-reference variables receive.
//   int32_t& <- VT_I4, UString& <- VT_BSTR, double& <- VT_R8,
//   Variant& <- any declared type (an omitted optional argument arrives as
//   missing), Dispatch* <- VT_DISPATCH.
// Return types: void, int32_t, bool (VT_BOOL), double, UString, Variant,
// ComPtr<Dispatch>. A function whose parameters are all int32_t& and
// UString& also gets a direct form, called without Variants.
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
inline void Put(Variant* r, UString x) { r->SetString(std::move(x)); }
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

// The parameters a direct call passes: Longs and Strings, read from the
// DirectArg in place. Any other parameter type leaves a function without a
// direct form.
template <class T>
struct DirectParam {
  static constexpr bool kDirect = false;
  static constexpr VarType kType = VT_EMPTY;
};
template <>
struct DirectParam<std::int32_t&> {
  static constexpr bool kDirect = true;
  static constexpr VarType kType = VT_I4;
  static std::int32_t& Of(DirectArg& a) { return a.lVal; }
};
template <>
struct DirectParam<UString&> {
  static constexpr bool kDirect = true;
  static constexpr VarType kType = VT_BSTR;
  static UString& Of(DirectArg& a) { return *a.text; }
};

template <class T>
inline void PutDirect(DirectResult* r, T&& x) {
  Put(&r->value, std::forward<T>(x));
}
inline void PutDirect(DirectResult* r, UString&& x) {
  r->text = std::move(x);
  r->isText = true;
}

template <class C, class R, class... A, std::size_t... I>
void CallDirect(R (C::*m)(A...), C* self, DirectArg* args, DirectResult* result, std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    (self->*m)(DirectParam<A>::Of(args[I])...);
  } else {
    PutDirect(result, (self->*m)(DirectParam<A>::Of(args[I])...));
  }
}

template <auto M>
struct Binder;

template <class C, class R, class... A, R (C::*M)(A...)>
struct Binder<M> {
  static void Handle(void* self, Variant* const* args, Variant* result) {
    Call(M, static_cast<C*>(self), args, result, std::index_sequence_for<A...>{});
  }

  static constexpr bool kDirect = (DirectParam<A>::kDirect && ...);
  // The direct form's parameter types, ending in VT_EMPTY.
  static constexpr VarType kDirectTypes[] = {DirectParam<A>::kType..., VT_EMPTY};
  static void Direct(void* self, DirectArg* args, DirectResult* result) {
    if constexpr (kDirect) {
      CallDirect(M, static_cast<C*>(self), args, result, std::index_sequence_for<A...>{});
    }
  }
};

}  // namespace binding

template <auto M>
constexpr MemberBinding Bind() {
  using B = binding::Binder<M>;
  if constexpr (B::kDirect) {
    return MemberBinding(&B::Handle, &B::Direct, B::kDirectTypes);
  } else {
    return MemberBinding(&B::Handle);
  }
}

}  // namespace tarnel
