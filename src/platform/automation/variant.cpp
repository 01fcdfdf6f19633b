// Variant and SafeArray: construction, copy (VariantCopy), by-reference
// dereference (VariantCopyInd) and clear (VariantClear) with OLE
// Automation's ownership rules. A string value lives in a heap box (the
// UString the Variant points at); the boxes of short strings are recycled
// per thread, because every call through Invoke makes and drops several.
#include "platform/automation/variant.h"

#include <utility>

#include "platform/automation/dispatch.h"

namespace tarnel {

namespace {

// The string boxes a thread has given back, ready for reuse with the buffer
// they still own.
struct StringBoxPool {
  static constexpr std::uint32_t kBoxes = 64;
  static constexpr std::size_t kMaxKeptCapacity = 256;  // UTF-16 units
  UString* boxes[kBoxes];
  std::uint32_t count = 0;
};

// Each thread's pool, made when the thread first gives a box back. Plain
// data in the initial TLS block, so that reaching it is one load; `closed`
// is set once the thread's own destructors have run, after which boxes go
// straight back to the heap (Variants destroyed at exit still find it).
struct StringBoxes {
  StringBoxPool* pool;
  bool closed;
};
__attribute__((tls_model("initial-exec"))) thread_local StringBoxes tStringBoxes;

struct StringBoxCloser {
  ~StringBoxCloser() {
    StringBoxes& boxes = tStringBoxes;
    boxes.closed = true;
    if (StringBoxPool* pool = std::exchange(boxes.pool, nullptr)) {
      while (pool->count > 0) delete pool->boxes[--pool->count];
      delete pool;
    }
  }
};

// Makes the thread's pool and arranges for it to be freed when the thread
// ends; once per thread. Null when that fails (the box is then freed).
[[gnu::noinline]] StringBoxPool* OpenStringBoxPool() noexcept {
  try {
    auto pool = std::make_unique<StringBoxPool>();
    thread_local StringBoxCloser closer;
    (void)closer;
    tStringBoxes.pool = pool.release();
    return tStringBoxes.pool;
  } catch (...) {
    return nullptr;
  }
}

UString* TakeStringBox() noexcept {
  StringBoxPool* pool = tStringBoxes.pool;
  return pool && pool->count > 0 ? pool->boxes[--pool->count] : nullptr;
}

void GiveStringBox(UString* box) noexcept {
  StringBoxes& boxes = tStringBoxes;
  StringBoxPool* pool = boxes.pool;
  if (!pool && !boxes.closed) pool = OpenStringBoxPool();
  if (!pool || pool->count == StringBoxPool::kBoxes || box->capacity() > StringBoxPool::kMaxKeptCapacity) {
    delete box;
    return;
  }
  box->clear();
  pool->boxes[pool->count++] = box;
}

// A box holding a copy of text.
UString* NewString(UStringView text) {
  UString* box = TakeStringBox();
  if (!box) return new UString(text);
  try {
    box->assign(text);
  } catch (...) {
    delete box;
    throw;
  }
  return box;
}

// A box that takes over text's buffer.
UString* NewString(UString&& text) {
  UString* box = TakeStringBox();
  if (!box) return new UString(std::move(text));
  *box = std::move(text);
  return box;
}

}  // namespace

Variant::Variant(const UString& s) : vt_(VT_BSTR) { u_.bstrVal = NewString(UStringView(s)); }
Variant::Variant(UString&& s) : vt_(VT_BSTR) { u_.bstrVal = NewString(std::move(s)); }
Variant::Variant(const char16_t* s) : vt_(VT_BSTR) { u_.bstrVal = NewString(UStringView(s ? s : u"")); }

Variant::Variant(Dispatch* object) : vt_(VT_DISPATCH) {
  u_.llVal = 0;
  u_.pdispVal = object;
  if (object) object->AddRef();
}

Variant Variant::Unk(Unknown* x) {
  Variant v;
  v.vt_ = VT_UNKNOWN;
  v.u_.punkVal = x;
  if (x) x->AddRef();
  return v;
}

Variant Variant::Array(std::unique_ptr<SafeArray> array) {
  Variant v;
  v.vt_ = static_cast<std::uint16_t>(VT_ARRAY | array->ElementType());
  v.u_.parray = array.release();
  return v;
}

Variant Variant::OfType(VarType type) {
  Variant v;
  v.vt_ = type;
  if (type == VT_BSTR) v.u_.bstrVal = NewString(UStringView());
  if (type == VT_DECIMAL) v.u_.decVal = Decimal{};
  return v;
}

void Variant::CopyOwned(const Variant& other) {
  // The copy is made before this value is cleared, so that assigning a
  // value from inside itself (an array element, say) stays valid.
  const std::uint16_t vt = other.vt_;
  Payload copy;
  copy.ullVal = other.PayloadBits();  // owning types use the first eight bytes
  if (other.vt_ == VT_BSTR) {
    copy.bstrVal = NewString(other.u_.bstrVal ? UStringView(*other.u_.bstrVal) : UStringView());
  } else if (other.vt_ & VT_ARRAY) {
    copy.parray = other.u_.parray ? other.u_.parray->Clone().release() : nullptr;
  } else if (other.u_.punkVal) {  // VT_DISPATCH or VT_UNKNOWN
    other.u_.punkVal->AddRef();
  }
  Clear();
  vt_ = vt;
  u_.ullVal = copy.ullVal;
}

bool Variant::IsObject() const noexcept {
  const Variant& t = Target();
  std::uint16_t vt = t.vt_;
  if (vt == (VT_BYREF | VT_DISPATCH) || vt == (VT_BYREF | VT_UNKNOWN)) return true;
  return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

void Variant::ReleasePayload() noexcept {
  if (vt_ & VT_ARRAY) {
    delete u_.parray;
  } else if (vt_ == VT_BSTR) {
    if (u_.bstrVal) GiveStringBox(u_.bstrVal);
  } else if (u_.punkVal) {  // VT_DISPATCH or VT_UNKNOWN
    u_.punkVal->Release();
  }
}

void Variant::SetString(UString s) {
  Clear();
  u_.bstrVal = NewString(std::move(s));
  vt_ = VT_BSTR;
}

void Variant::SetObject(Dispatch* object) {
  if (object) object->AddRef();
  Clear();
  vt_ = VT_DISPATCH;
  u_.pdispVal = object;
}

Variant Variant::Deref() const {
  if (!(vt_ & VT_BYREF)) return *this;
  if (!u_.byref) return Error(DISP_E_TYPEMISMATCH);
  std::uint16_t base = vt_ & ~VT_BYREF;
  // A reference to a Variant is followed one level only, as VariantCopyInd.
  if (base == VT_VARIANT) return *u_.pvarVal;
  Variant v;
  if (base & VT_ARRAY) {
    SafeArray* a = *static_cast<SafeArray**>(u_.byref);
    if (!a) return v;
    v.vt_ = base;
    v.u_.parray = a->Clone().release();
    return v;
  }
  switch (base) {
    case VT_BSTR: return Variant(*static_cast<UString*>(u_.byref));
    case VT_DISPATCH: return Variant(*static_cast<Dispatch**>(u_.byref));
    case VT_UNKNOWN: return Unk(*static_cast<Unknown**>(u_.byref));
    // Narrow values are stored zero-extended in one write (see PayloadBits).
    case VT_I1: case VT_UI1: v.u_.ullVal = *static_cast<std::uint8_t*>(u_.byref); break;
    case VT_I2: case VT_UI2: case VT_BOOL: v.u_.ullVal = *static_cast<std::uint16_t*>(u_.byref); break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4:
      v.u_.ullVal = *static_cast<std::uint32_t*>(u_.byref);
      break;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE:
      v.u_.ullVal = *static_cast<std::uint64_t*>(u_.byref);
      break;
    case VT_DECIMAL: v.u_.decVal = *static_cast<Decimal*>(u_.byref); break;
    default: return Error(DISP_E_BADVARTYPE);
  }
  v.vt_ = base;
  return v;
}

SafeArray::SafeArray(VarType elementType, std::vector<Bound> bounds)
    : elementType_(elementType), bounds_(std::move(bounds)) {
  std::size_t n = bounds_.empty() ? 0 : 1;
  for (const Bound& b : bounds_) n *= b.count;
  elements_.resize(n);
  if (elementType_ != VT_VARIANT) {
    for (Variant& e : elements_) e = Variant::OfType(elementType_);
  }
}

std::unique_ptr<SafeArray> SafeArray::Vector(VarType elementType, std::vector<Variant> elements) {
  auto a = std::make_unique<SafeArray>(elementType, std::vector<Bound>{{0, static_cast<std::uint32_t>(elements.size())}});
  a->elements_ = std::move(elements);
  return a;
}

HRESULT SafeArray::Offset(const std::vector<std::int32_t>& indices, std::size_t& offset) const {
  if (indices.size() != bounds_.size()) return DISP_E_BADINDEX;
  std::size_t stride = 1;
  offset = 0;
  for (std::size_t d = 0; d < bounds_.size(); ++d) {
    std::int64_t i = static_cast<std::int64_t>(indices[d]) - bounds_[d].lower;
    if (i < 0 || i >= static_cast<std::int64_t>(bounds_[d].count)) return DISP_E_BADINDEX;
    offset += static_cast<std::size_t>(i) * stride;
    stride *= bounds_[d].count;
  }
  return S_OK;
}

HRESULT SafeArray::GetElement(const std::vector<std::int32_t>& indices, Variant& out) const {
  std::size_t off = 0;
  HRESULT hr = Offset(indices, off);
  if (Failed(hr)) return hr;
  out = elements_[off];
  return S_OK;
}

HRESULT SafeArray::PutElement(const std::vector<std::int32_t>& indices, const Variant& value) {
  std::size_t off = 0;
  HRESULT hr = Offset(indices, off);
  if (Failed(hr)) return hr;
  elements_[off] = value;
  return S_OK;
}

std::unique_ptr<SafeArray> SafeArray::Clone() const {
  auto a = std::make_unique<SafeArray>(elementType_, std::vector<Bound>{});
  a->bounds_ = bounds_;
  a->elements_ = elements_;
  return a;
}

}  // namespace tarnel
