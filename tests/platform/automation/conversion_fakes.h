// Objects for the conversion tests: a dispatch object whose default member
// answers with a chosen value or failure (and counts its calls), with
// optional class and type information, and a plain Unknown without
// IDispatch. Test-thread only.
#pragma once
#include <gtest/gtest.h>

#include "platform/automation/com_error.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/locale.h"
#include "platform/automation/type_info.h"

namespace tarnel::testing {

class FakeObject : public RefCounted<Dispatch>, public ProvideClassInfo {
 public:
  Variant defaultValue;          // what DISPID_VALUE returns
  HRESULT failure = S_OK;        // returned by Invoke instead, when set
  ExcepInfo exception;           // filled in for DISP_E_EXCEPTION
  bool defaultIsSelf = false;    // the default member returns the object
  const TypeInfo* type = nullptr;
  const CoClassInfo* cls = nullptr;
  int invokes = 0;

  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<Dispatch*>(this);
    } else if (iid == IID_IProvideClassInfo && cls) {
      *out = static_cast<ProvideClassInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return RefCounted<Dispatch>::AddRef(); }
  std::uint32_t Release() override { return RefCounted<Dispatch>::Release(); }
  const TypeInfo* GetTypeInfo() override { return type; }
  HRESULT GetIDsOfNames(const UString*, std::uint32_t count, DispId* ids) override {
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DispId id, std::uint16_t flags, DispParams* params, Variant* result, ExcepInfo* excep,
                 std::uint32_t*) override {
    ++invokes;
    EXPECT_EQ(id, DISPID_VALUE);
    EXPECT_TRUE(flags & DISPATCH_PROPERTYGET);
    EXPECT_TRUE(params && params->cArgs == 0);
    if (failure != S_OK) {
      if (excep) *excep = exception;
      return failure;
    }
    if (result) *result = defaultIsSelf ? Variant(static_cast<Dispatch*>(this)) : defaultValue;
    return S_OK;
  }
  const CoClassInfo* GetClassInfo() override { return cls; }

  Variant AsVariant() { return Variant(static_cast<Dispatch*>(this)); }
};

class FakeUnknown : public RefCounted<Unknown> {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (iid != IID_IUnknown) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<Unknown*>(this);
    AddRef();
    return S_OK;
  }
};

// The run-time error number that f raises, 0 when it raises none.
template <class F>
std::int32_t ErrorOf(F f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.Number();
  }
  return 0;
}

// The two locales the conversion tests compare.
inline const Locale& EnUs() {
  static const Locale l = Locale::Named("en-US");
  return l;
}
inline const Locale& DeDe() {
  static const Locale l = Locale::Named("de-DE");
  return l;
}

}  // namespace tarnel::testing
