// DispatchObject<Self>: the common implementation of an automation object
// whose interface is a table. Self provides
//   static const TypeInfo& Type();          its dispatch interface
//   static const CoClassInfo* Class();      its class (may return null)
// and gets reference counting, QueryInterface for IUnknown, IDispatch,
// IProvideClassInfo and DirectCall, GetIDsOfNames, the table-driven Invoke
// and direct calls. Handlers receive `this` as Self*. Apartment-thread only,
// like the object.
#pragma once
#include "platform/automation/dispatch.h"
#include "platform/automation/member_binding.h"
#include "platform/automation/type_info.h"

namespace tarnel {

template <class Self, class Base = Dispatch>
class DispatchObject : public RefCounted<Base>, public ProvideClassInfo, public DirectCall {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == Self::Type().Id()) {
      *out = static_cast<Dispatch*>(this);
    } else if (iid == IID_IProvideClassInfo && Self::Class()) {
      *out = static_cast<ProvideClassInfo*>(this);
    } else if (iid == IID_DirectCall) {
      *out = static_cast<DirectCall*>(this);
    } else if (QueryExtra(iid, out)) {
      // an interface the object adds (connection points, ...)
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    this->AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return RefCounted<Base>::AddRef(); }
  std::uint32_t Release() override { return RefCounted<Base>::Release(); }

  const TypeInfo* GetTypeInfo() override { return &Self::Type(); }
  HRESULT GetIDsOfNames(const UString* names, std::uint32_t count, DispId* ids) override {
    return Self::Type().GetIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DispId id, std::uint16_t flags, DispParams* params, Variant* result, ExcepInfo* excep,
                 std::uint32_t* argErr) override {
    return InvokeFromTable(Table(), static_cast<Self*>(this), id, flags, params, result, excep, argErr, Source());
  }
  HRESULT CallDirect(const MemberDesc& member, DirectArg* args, DirectResult* result, ExcepInfo* excep) override {
    return InvokeDirectFromTable(Table(), static_cast<Self*>(this), member, args, result, excep, Source());
  }
  const CoClassInfo* GetClassInfo() override { return Self::Class(); }

  Dispatch* AsDispatch() { return static_cast<Dispatch*>(this); }

 protected:
  // The interface's table, found once per class (Self::Type may be a call
  // into another library).
  static const TypeInfo& Table() {
    static const TypeInfo& type = Self::Type();
    return type;
  }
  // The source of exception information: the class's ProgID, else the
  // interface's name; measured once per class.
  static UStringView Source() {
    static const UStringView source =
        Self::Class() ? UStringView(Self::Class()->progId) : UStringView(Self::Type().Name());
    return source;
  }
  // Override to answer more interfaces; return true and set *out (without
  // AddRef) when iid is one of them.
  virtual bool QueryExtra(const Guid& /*iid*/, void** /*out*/) { return false; }
};

}  // namespace tarnel
