// TypeInfo and the table-driven Invoke: name lookup, member selection by
// DISPID and dispatch flags, argument count and type checks, coercion to the
// declared types, optional arguments, exception information, and the
// write-back of by-reference arguments after a successful call.
#include "platform/automation/type_info.h"

#include <new>
#include <vector>

#include "platform/automation/com_error.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {

namespace {
constexpr std::size_t KindIndex(MemberKind kind) {
  switch (kind) {
    case MemberKind::Method: return 0;
    case MemberKind::Get: return 1;
    case MemberKind::Let: return 2;
    case MemberKind::Set: return 3;
  }
  return 0;
}

// True when the direct form's parameter types (ending in VT_EMPTY) are
// exactly the member's declared ones.
bool DirectTypesMatch(const MemberDesc& m) {
  const VarType* types = m.handler.directTypes;
  if (!types) return false;
  std::size_t k = 0;
  for (; types[k] != VT_EMPTY; ++k) {
    if (k == m.params.size() || m.params[k].type != types[k]) return false;
  }
  return k == m.params.size();
}
}  // namespace

std::size_t MemberDesc::RequiredCount() const {
  std::size_t n = 0;
  for (const ParamDesc& p : params) {
    if (!p.optional) ++n;
  }
  return n;
}

TypeInfo::TypeInfo(const char16_t* name, Guid guid, TypeKind kind, std::vector<MemberDesc> members,
                   std::uint32_t flags, const char16_t* help)
    : name_(name), guid_(guid), kind_(kind), flags_(flags), help_(help ? help : u""), members_(std::move(members)) {
  std::size_t size = 8;
  while (size < 2 * members_.size()) size *= 2;
  byId_.resize(size);
  idMask_ = size - 1;
  for (MemberDesc& m : members_) {
    // A direct form is used only where the function's parameters are the
    // ones the table declares; elsewhere Invoke's checks report the misfit.
    if (m.handler.direct && !DirectTypesMatch(m)) m.handler.direct = nullptr;
  }
  for (const MemberDesc& m : members_) {
    byName_.emplace(FoldedCopy(m.name), m.id);
    std::size_t i = IdHome(m.id);
    while (byId_[i].used && byId_[i].id != m.id) i = (i + 1) & idMask_;
    IdSlot& entry = byId_[i];
    entry.used = true;
    entry.id = m.id;
    const MemberDesc*& slot = entry.kinds[KindIndex(m.kind)];
    if (!slot) slot = &m;  // the first of a kind in table order answers
  }
}

TypeInfo::TypeInfo(const char16_t* name, Guid guid, std::vector<EnumMember> values)
    : name_(name), guid_(guid), kind_(TypeKind::Enum), flags_(0), values_(std::move(values)) {}

DispId TypeInfo::IdOfName(UStringView name) const {
  auto it = byName_.find(FoldedCopy(name));
  return it == byName_.end() ? DISPID_UNKNOWN : it->second;
}

HRESULT TypeInfo::GetIDsOfNames(const UString* names, std::uint32_t count, DispId* ids) const {
  if (count == 0) return S_OK;
  if (!names || !ids) return E_POINTER;
  ids[0] = IdOfName(names[0]);
  HRESULT hr = ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  const MemberDesc* m = ids[0] == DISPID_UNKNOWN ? nullptr : FindAny(ids[0]);
  for (std::uint32_t i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (m) {
      for (std::size_t p = 0; p < m->params.size(); ++p) {
        if (EqualsNoCase(m->params[p].name, names[i])) ids[i] = static_cast<DispId>(p);
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

const MemberDesc* TypeInfo::Find(DispId id, std::uint16_t flags) const {
  if (byId_.empty()) return nullptr;  // an enumeration has no members to call
  std::size_t i = IdHome(id);
  while (byId_[i].used && byId_[i].id != id) i = (i + 1) & idMask_;
  if (!byId_[i].used) return nullptr;
  const std::array<const MemberDesc*, 4>& kinds = byId_[i].kinds;
  // A call that may be a method or a property read (VB's `x = o.M(a)`)
  // takes a method first, then a property get, then let, then set.
  static constexpr MemberKind kOrder[] = {MemberKind::Method, MemberKind::Get, MemberKind::Let, MemberKind::Set};
  for (MemberKind kind : kOrder) {
    const MemberDesc* m = kinds[KindIndex(kind)];
    if (m && (flags & static_cast<std::uint16_t>(kind))) return m;
  }
  return nullptr;
}

const MemberDesc* TypeInfo::FindAny(DispId id) const {
  for (const MemberDesc& m : members_) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

namespace {

// The types for which ChangeType to the same type gives an exact copy of
// the value: for these an argument that already has its declared type is
// copied without a conversion.
constexpr bool CopiesUnchanged(std::uint16_t vt) {
  switch (vt) {
    case VT_I2: case VT_I4: case VT_UI1: case VT_BSTR: case VT_DISPATCH: return true;
    default: return false;
  }
}

// The argument's value when it can be read in place: the argument itself
// when it is passed by value, the Variant it points at for a reference to a
// Variant; null for typed references and references without target, which
// go through Deref.
const Variant* ValueInPlace(const Variant& arg) {
  if (!arg.IsByRef()) return &arg;
  if (arg.vt() == (VT_BYREF | VT_VARIANT)) return arg.pvarVal();
  return nullptr;
}

// Stores value (already of the pointee's type) through a typed reference;
// a string in v moves.
void StoreThrough(Variant& ref, Variant& v) {
  void* p = ref.byref();
  if (!p) return;
  std::uint16_t base = ref.vt() & ~VT_BYREF;
  switch (base) {
    case VT_BSTR: *static_cast<UString*>(p) = std::move(v.bstrVal()); break;
    case VT_DISPATCH: {
      Dispatch*& slot = *static_cast<Dispatch**>(p);
      Dispatch* d = v.pdispVal();
      if (d) d->AddRef();
      if (slot) slot->Release();
      slot = d;
      break;
    }
    case VT_I1: case VT_UI1: *static_cast<std::uint8_t*>(p) = v.bVal(); break;
    case VT_I2: case VT_UI2: case VT_BOOL: *static_cast<std::uint16_t*>(p) = v.uiVal(); break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4:
      *static_cast<std::uint32_t*>(p) = v.ulVal();
      break;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE:
      *static_cast<std::uint64_t*>(p) = v.ullVal();
      break;
    case VT_DECIMAL: *static_cast<Decimal*>(p) = v.decVal(); break;
    default: break;
  }
}

HRESULT Exception(ExcepInfo* excep, HRESULT scode, UString description, UString source) {
  if (excep) {
    *excep = ExcepInfo{};
    excep->scode = scode;
    excep->bstrDescription = std::move(description);
    excep->bstrSource = std::move(source);
  }
  return DISP_E_EXCEPTION;
}

// Runs call, a member's handler on prepared arguments; errors it raises
// become exception information. Inlined into each way of calling.
template <class Call>
[[gnu::always_inline]] inline HRESULT Guard(Call&& call, ExcepInfo* excep, UStringView source) {
  try {
    call();
  } catch (const ComError& e) {
    return Exception(excep, e.hr(), e.Description(), e.Source().empty() ? UString(source) : e.Source());
  } catch (const std::bad_alloc&) {
    return Exception(excep, E_OUTOFMEMORY, StandardErrorDescription(7), UString(source));
  } catch (const std::exception& e) {
    return Exception(excep, E_FAIL, FromUtf8(e.what()), UString(source));
  }
  return S_OK;
}

[[gnu::always_inline]] inline HRESULT CallHandler(const MemberDesc& m, void* self, Variant* const* args,
                                                  Variant& res, ExcepInfo* excep, UStringView source) {
  if (!m.handler) {
    return Exception(excep, E_NOTIMPL, UString(m.name) + u" is not implemented", UString(source));
  }
  return Guard([&] { m.handler.call(self, args, &res); }, excep, source);
}

// The caller's own Variant that a parameter can work on in place: the
// parameter is by reference and its argument a reference to a Variant that
// already holds the parameter's type (for a Variant parameter, any value
// but a missing one or another reference). Null when it needs a local.
Variant* InPlaceArgument(const ParamDesc& p, const Variant& arg) {
  if (!p.byRef || arg.vt() != (VT_BYREF | VT_VARIANT)) return nullptr;
  Variant* value = arg.pvarVal();
  if (!value) return nullptr;
  const bool fits = p.type == VT_VARIANT ? !value->IsByRef() && !value->IsMissing()
                                         : value->vt() == p.type && CopiesUnchanged(p.type);
  return fits ? value : nullptr;
}

// Every argument present and usable in place, each put into args.
bool ArgumentsInPlace(const MemberDesc& m, const DispParams& params, Variant** args) {
  const std::size_t n = params.cArgs;
  if (n != m.params.size()) return false;
  for (std::size_t i = 0; i < n; ++i) {
    args[i] = InPlaceArgument(m.params[i], params.rgvarg[n - 1 - i]);
    if (!args[i]) return false;
  }
  return true;
}

}  // namespace

HRESULT InvokeFromTable(const TypeInfo& type, void* self, DispId id, std::uint16_t flags, DispParams* params,
                        Variant* result, ExcepInfo* excep, std::uint32_t* argErr, UStringView source) {
  DispParams none;
  if (!params) params = &none;
  const bool inPlace = (flags & DISPATCH_ARGS_IN_PLACE) != 0;
  flags = static_cast<std::uint16_t>(flags & ~DISPATCH_ARGS_IN_PLACE);
  const MemberDesc* m = type.Find(id, flags);
  if (!m) return DISP_E_MEMBERNOTFOUND;

  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 &&
                     (m->kind == MemberKind::Let || m->kind == MemberKind::Set);
  if (isPut) {
    if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return DISP_E_PARAMNOTFOUND;
  } else if (params->cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  const std::uint32_t n = params->cArgs;
  const std::size_t count = m->params.size();
  if (n > count || (n < count && n < m->RequiredCount())) return DISP_E_BADPARAMCOUNT;
  if (n > 0 && !params->rgvarg) return E_POINTER;

  // What the handler works on, one pointer per parameter: a local holding
  // the argument coerced to its declared type, in parameter order (on the
  // stack for the usual few), or, when the caller allows it, the caller's
  // own Variant that a by-reference argument already of that type points at.
  constexpr std::size_t kInline = 10;
  Variant* inlineArgs[kInline];
  std::vector<Variant*> heapArgs;
  Variant** args = inlineArgs;
  if (count > kInline) {
    heapArgs.resize(count);
    args = heapArgs.data();
  }

  // The common case of a script's call: nothing to coerce or copy.
  if (inPlace && ArgumentsInPlace(*m, *params, args)) {
    Variant res;
    HRESULT hr = CallHandler(*m, self, args, res, excep, source);
    if (Succeeded(hr) && result) *result = std::move(res);
    return hr;
  }

  InlineVariants<kInline> locals(count);
  Variant copied;  // a typed reference's value, copied out
  for (std::size_t i = 0; i < count; ++i) {
    const ParamDesc& p = m->params[i];
    const bool present = i < n;
    const std::uint32_t index = present ? static_cast<std::uint32_t>(n - 1 - i) : 0;
    if (present && inPlace) {
      if (Variant* own = InPlaceArgument(p, params->rgvarg[index])) {
        args[i] = own;
        locals.Emplace();  // keeps locals[i] paired with parameter i
        continue;
      }
    }
    // The value is read in place where possible.
    const Variant* value = nullptr;
    if (present) {
      value = ValueInPlace(params->rgvarg[index]);
      if (!value) {
        copied = params->rgvarg[index].Deref();
        value = &copied;
      }
    }
    if (!present || value->IsMissing()) {
      if (!p.optional) {
        if (argErr) *argErr = index;
        return DISP_E_PARAMNOTOPTIONAL;
      }
      if (!p.hasDefault) {
        args[i] = &locals.Emplace(Variant::Missing());
      } else if (p.type == VT_VARIANT || p.type == VT_I4) {
        args[i] = &locals.Emplace(p.defaultValue);
      } else {
        args[i] = &locals.Emplace();
        HRESULT hr = ChangeType(*args[i], Variant(p.defaultValue), 0, p.type);
        if (Failed(hr)) return hr;
      }
      continue;
    }
    if (p.type == VT_VARIANT || (value->vt() == p.type && CopiesUnchanged(p.type))) {
      if (value == &copied) {
        args[i] = &locals.Emplace(std::move(copied));
      } else {
        args[i] = &locals.Emplace(*value);
      }
      continue;
    }
    args[i] = &locals.Emplace();
    HRESULT hr = ChangeType(*args[i], *value, 0, p.type);
    if (Failed(hr)) {
      if (argErr) *argErr = index;
      return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
  }

  Variant res;
  HRESULT hr = CallHandler(*m, self, args, res, excep, source);
  if (Failed(hr)) return hr;

  // The call succeeded: hand by-reference results back to the caller (those
  // worked on in place are there already). The locals are not needed
  // afterwards, so their values move.
  for (std::size_t i = 0; i < n; ++i) {
    const ParamDesc& p = m->params[i];
    Variant& arg = params->rgvarg[n - 1 - i];
    if (!p.byRef || !arg.IsByRef() || args[i] != &locals[i] || locals[i].IsMissing()) continue;
    if (arg.vt() == (VT_BYREF | VT_VARIANT)) {
      if (arg.pvarVal()) *arg.pvarVal() = std::move(locals[i]);
      continue;
    }
    const auto target = static_cast<VarType>(arg.vt() & ~VT_BYREF);
    if (locals[i].vt() == target && CopiesUnchanged(target)) {
      StoreThrough(arg, locals[i]);
      continue;
    }
    Variant converted;
    if (Succeeded(ChangeType(converted, locals[i], 0, target))) StoreThrough(arg, converted);
  }
  if (result) *result = std::move(res);
  return S_OK;
}

HRESULT InvokeDirectFromTable(const TypeInfo& type, void* self, const MemberDesc& member, DirectArg* args,
                              DirectResult* result, ExcepInfo* excep, UStringView source) {
  const std::vector<MemberDesc>& members = type.Members();
  if (members.empty() || &member < members.data() || &member >= members.data() + members.size() ||
      !member.handler.direct) {
    return E_INVALIDARG;
  }
  if (result) return Guard([&] { member.handler.direct(self, args, result); }, excep, source);
  DirectResult ignored;
  return Guard([&] { member.handler.direct(self, args, &ignored); }, excep, source);
}

}  // namespace tarnel
