// Variant: the automation value (the stand-in for VARIANT) with the
// automation types, arrays (SafeArray) and by-reference values, copied and
// cleared as OLE Automation copies and clears them: a copy duplicates strings
// and arrays and adds a reference to objects; a by-reference value copies
// only its pointer, and clearing it leaves the pointee alone.
// A Variant is a plain value owned by whoever holds it; it is not shared
// between threads (objects inside it belong to their apartment).
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/automation/hresult.h"
#include "platform/automation/ustring.h"

namespace tarnel {

class Unknown;
class Dispatch;
class SafeArray;

enum VarType : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

using VariantBool = std::int16_t;
constexpr VariantBool VARIANT_TRUE = -1;
constexpr VariantBool VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
  std::int64_t int64 = 0;
};

// Decimal: 96-bit magnitude, a scale of 0..28 and a sign (0x80 negative).
struct Decimal {
  std::uint8_t scale = 0;
  std::uint8_t sign = 0;
  std::uint32_t hi32 = 0;
  std::uint64_t lo64 = 0;
};

// Date: days since 1899-12-30, the fraction the time of day.
using Date = double;

// The typed constructors write a narrow value as its zero-extended eight
// bytes, which is the same bytes only on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "Variant assumes a little-endian machine");

class Variant {
 public:
  Variant() noexcept : vt_(VT_EMPTY) { u_.llVal = 0; }
  // Copies and moves of values that own nothing (numbers, references) are
  // inline: they are the bulk of every call through Invoke. They move the
  // payload in the width its type uses (see PayloadBits).
  Variant(const Variant& other) : vt_(VT_EMPTY) {
    u_.llVal = 0;
    if (OwnsPayload(other.vt_)) {
      CopyOwned(other);
    } else {
      vt_ = other.vt_;
      SetPayload(other.vt_, other.PayloadBits(), other.HighBits());
    }
  }
  Variant(Variant&& other) noexcept : vt_(other.vt_) {
    u_.llVal = 0;
    SetPayload(other.vt_, other.PayloadBits(), other.HighBits());
    other.Reset();
  }
  Variant& operator=(const Variant& other) {
    if (this == &other) return *this;
    if (OwnsPayload(other.vt_)) {
      CopyOwned(other);
    } else {
      // Read before clearing: other may live inside what this value owns.
      const std::uint16_t vt = other.vt_;
      const std::uint64_t bits = other.PayloadBits();
      const std::uint64_t high = other.HighBits();
      Clear();
      vt_ = vt;
      SetPayload(vt, bits, high);
    }
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    if (this == &other) return *this;
    const std::uint16_t vt = other.vt_;
    const std::uint64_t bits = other.PayloadBits();
    const std::uint64_t high = other.HighBits();
    other.Reset();
    Clear();
    vt_ = vt;
    SetPayload(vt, bits, high);
    return *this;
  }
  ~Variant() {
    if (OwnsPayload(vt_)) ReleasePayload();
  }

  // Typed constructors for the common cases. Each writes the payload's
  // first eight bytes in one store, zero-extended.
  explicit Variant(std::int32_t v) noexcept : vt_(VT_I4) { u_.ullVal = static_cast<std::uint32_t>(v); }
  explicit Variant(double v) noexcept : vt_(VT_R8) { u_.dblVal = v; }
  explicit Variant(bool v) noexcept : vt_(VT_BOOL) {
    u_.ullVal = static_cast<std::uint16_t>(v ? VARIANT_TRUE : VARIANT_FALSE);
  }
  explicit Variant(const UString& s);
  explicit Variant(UString&& s);
  explicit Variant(const char16_t* s);
  // An object reference (adds a reference); nullptr gives Nothing.
  explicit Variant(Dispatch* object);

  static Variant Null() { Variant v; v.vt_ = VT_NULL; return v; }
  static Variant Error(HRESULT scode) { Variant v; v.vt_ = VT_ERROR; v.u_.ullVal = static_cast<std::uint32_t>(scode); return v; }
  // The value of an omitted optional argument.
  static Variant Missing() { return Error(DISP_E_PARAMNOTFOUND); }
  static Variant I2(std::int16_t x) { Variant v; v.vt_ = VT_I2; v.u_.ullVal = static_cast<std::uint16_t>(x); return v; }
  static Variant I8(std::int64_t x) { Variant v; v.vt_ = VT_I8; v.u_.llVal = x; return v; }
  static Variant UI1(std::uint8_t x) { Variant v; v.vt_ = VT_UI1; v.u_.ullVal = x; return v; }
  static Variant R4(float x) { Variant v; v.vt_ = VT_R4; v.u_.fltVal = x; return v; }
  static Variant Cy(Currency x) { Variant v; v.vt_ = VT_CY; v.u_.cyVal = x; return v; }
  static Variant FromDate(Date x) { Variant v; v.vt_ = VT_DATE; v.u_.date = x; return v; }
  static Variant Dec(Decimal x) { Variant v; v.vt_ = VT_DECIMAL; v.u_.decVal = x; return v; }
  static Variant Unk(Unknown* x);
  static Variant Array(std::unique_ptr<SafeArray> array);
  // By-reference values: the Variant points at storage that the caller owns.
  static Variant Ref(Variant* target) { Variant v; v.vt_ = VT_BYREF | VT_VARIANT; v.u_.pvarVal = target; return v; }
  static Variant RefTyped(VarType type, void* target) { Variant v; v.vt_ = static_cast<std::uint16_t>(VT_BYREF | type); v.u_.byref = target; return v; }
  // Any scalar of the given type with zeroed payload (for the typed setters).
  static Variant OfType(VarType type);

  std::uint16_t vt() const noexcept { return vt_; }
  VarType BaseType() const noexcept { return static_cast<VarType>(vt_ & VT_TYPEMASK); }
  bool IsByRef() const noexcept { return (vt_ & VT_BYREF) != 0; }
  bool IsArray() const noexcept { return (vt_ & VT_ARRAY) != 0; }
  bool IsEmpty() const noexcept { return vt_ == VT_EMPTY; }
  bool IsNull() const noexcept { return vt_ == VT_NULL; }
  bool IsMissing() const noexcept { return vt_ == VT_ERROR && u_.scode == DISP_E_PARAMNOTFOUND; }
  // True for VT_DISPATCH or VT_UNKNOWN (after following a reference).
  bool IsObject() const noexcept;

  // Releases what the value owns and makes it Empty (VariantClear).
  void Clear() noexcept {
    if (OwnsPayload(vt_)) ReleasePayload();
    Reset();
  }

  // The value a by-reference Variant points at, as a fresh Variant
  // (VariantCopyInd); a copy of this value when it is not by reference.
  Variant Deref() const;
  // For a VT_BYREF|VT_VARIANT the Variant it points at, else this one.
  const Variant& Target() const noexcept { return vt_ == (VT_BYREF | VT_VARIANT) && u_.pvarVal ? *u_.pvarVal : *this; }
  Variant& Target() noexcept { return vt_ == (VT_BYREF | VT_VARIANT) && u_.pvarVal ? *u_.pvarVal : *this; }

  // Payload access; the caller has checked vt() (as with VARIANT's union).
  std::int8_t& cVal() noexcept { return u_.cVal; }
  std::uint8_t& bVal() noexcept { return u_.bVal; }
  std::int16_t& iVal() noexcept { return u_.iVal; }
  std::uint16_t& uiVal() noexcept { return u_.uiVal; }
  std::int32_t& lVal() noexcept { return u_.lVal; }
  std::uint32_t& ulVal() noexcept { return u_.ulVal; }
  std::int64_t& llVal() noexcept { return u_.llVal; }
  std::uint64_t& ullVal() noexcept { return u_.ullVal; }
  float& fltVal() noexcept { return u_.fltVal; }
  double& dblVal() noexcept { return u_.dblVal; }
  Currency& cyVal() noexcept { return u_.cyVal; }
  Date& date() noexcept { return u_.date; }
  VariantBool& boolVal() noexcept { return u_.boolVal; }
  HRESULT& scode() noexcept { return u_.scode; }
  Decimal& decVal() noexcept { return u_.decVal; }
  // The string of a VT_BSTR value (never null once set).
  UString& bstrVal() noexcept { return *u_.bstrVal; }
  Dispatch* pdispVal() const noexcept { return u_.pdispVal; }
  Unknown* punkVal() const noexcept { return u_.punkVal; }
  SafeArray* parray() const noexcept { return u_.parray; }
  void* byref() const noexcept { return u_.byref; }
  Variant* pvarVal() const noexcept { return u_.pvarVal; }

  std::int32_t lVal() const noexcept { return u_.lVal; }
  double dblVal() const noexcept { return u_.dblVal; }
  VariantBool boolVal() const noexcept { return u_.boolVal; }
  HRESULT scode() const noexcept { return u_.scode; }
  const UString& bstrVal() const noexcept { return *u_.bstrVal; }
  std::int16_t iVal() const noexcept { return u_.iVal; }
  std::int64_t llVal() const noexcept { return u_.llVal; }

  // Setters that clear the old value first.
  void SetI4(std::int32_t v) { Clear(); vt_ = VT_I4; u_.ullVal = static_cast<std::uint32_t>(v); }
  void SetString(UString s);
  void SetObject(Dispatch* object);

 private:
  friend class SafeArray;
  // True for the types whose payload a Variant owns: strings, arrays and
  // object references held by value.
  static constexpr bool OwnsPayload(std::uint16_t vt) noexcept {
    // One test for the scalar types: bit n of the mask is set for the type n
    // that owns its payload (VT_BSTR, VT_DISPATCH, VT_UNKNOWN).
    constexpr std::uint32_t kOwningScalars = (1u << VT_BSTR) | (1u << VT_DISPATCH) | (1u << VT_UNKNOWN);
    if (vt < 32) return ((kOwningScalars >> vt) & 1u) != 0;
    return (vt & (VT_ARRAY | VT_BYREF)) == VT_ARRAY;
  }
  // The payload's first eight bytes, which hold every type's value but a
  // Decimal's; the other eight are zero for every other type. Copies move
  // the two halves as eight-byte words: a sixteen-byte load right after a
  // Variant was built by narrower stores would stall the processor.
  std::uint64_t PayloadBits() const noexcept { return u_.ullVal; }
  std::uint64_t HighBits() const noexcept { return vt_ == VT_DECIMAL ? u_.decVal.lo64 : 0; }
  // Stores a payload read by PayloadBits and HighBits; the payload's high
  // half is zero already for anything but a Decimal.
  void SetPayload(std::uint16_t vt, std::uint64_t bits, std::uint64_t high) noexcept {
    u_.ullVal = bits;
    if (vt == VT_DECIMAL) u_.decVal.lo64 = high;
  }
  // Empty with a zeroed payload, without releasing anything.
  void Reset() noexcept {
    vt_ = VT_EMPTY;
    u_.decVal = Decimal{};
    u_.llVal = 0;
  }
  // Frees the string or array, or releases the object (the value owns one).
  void ReleasePayload() noexcept;
  // Copy assignment from a value that owns its payload (VariantCopy).
  void CopyOwned(const Variant& other);

  std::uint16_t vt_;
  union Payload {
    Payload() noexcept : decVal() {}
    std::int8_t cVal;
    std::uint8_t bVal;
    std::int16_t iVal;
    std::uint16_t uiVal;
    std::int32_t lVal;
    std::uint32_t ulVal;
    std::int64_t llVal;
    std::uint64_t ullVal;
    float fltVal;
    double dblVal;
    Currency cyVal;
    Date date;
    VariantBool boolVal;
    HRESULT scode;
    Decimal decVal;
    UString* bstrVal;
    Dispatch* pdispVal;
    Unknown* punkVal;
    SafeArray* parray;
    void* byref;
    Variant* pvarVal;
  } u_;
};

// A SafeArray: elements of one automation type in one or more dimensions,
// each with a lower bound and a count. Elements are stored as Variants of
// the element type (VT_VARIANT arrays hold any type).
class SafeArray {
 public:
  struct Bound {
    std::int32_t lower = 0;
    std::uint32_t count = 0;
  };
  SafeArray(VarType elementType, std::vector<Bound> bounds);
  // A one-dimensional array with lower bound 0.
  static std::unique_ptr<SafeArray> Vector(VarType elementType, std::vector<Variant> elements);

  VarType ElementType() const { return elementType_; }
  std::uint32_t Dimensions() const { return static_cast<std::uint32_t>(bounds_.size()); }
  const Bound& BoundOf(std::uint32_t dim) const { return bounds_.at(dim); }
  std::int32_t LBound(std::uint32_t dim = 0) const { return bounds_.at(dim).lower; }
  std::int32_t UBound(std::uint32_t dim = 0) const { return bounds_.at(dim).lower + static_cast<std::int32_t>(bounds_.at(dim).count) - 1; }
  std::size_t ElementCount() const { return elements_.size(); }

  // Element by indices (one per dimension); DISP_E_BADINDEX out of bounds.
  HRESULT GetElement(const std::vector<std::int32_t>& indices, Variant& out) const;
  HRESULT PutElement(const std::vector<std::int32_t>& indices, const Variant& value);
  // Elements in storage order (first dimension fastest).
  std::vector<Variant>& Elements() { return elements_; }
  const std::vector<Variant>& Elements() const { return elements_; }

  // Locking as SafeArrayLock: a locked array cannot be resized or destroyed.
  void Lock() { ++locks_; }
  void Unlock() { if (locks_) --locks_; }
  bool Locked() const { return locks_ > 0; }

  std::unique_ptr<SafeArray> Clone() const;

 private:
  HRESULT Offset(const std::vector<std::int32_t>& indices, std::size_t& offset) const;
  VarType elementType_;
  std::vector<Bound> bounds_;
  std::vector<Variant> elements_;
  int locks_ = 0;
};

// A short-lived array of Variants, such as the arguments of one call: in
// place for up to N values, on the heap beyond that. It starts empty; each
// Emplace constructs the next Variant in place, and only those are
// destroyed.
template <std::size_t N>
class InlineVariants {
 public:
  explicit InlineVariants(std::size_t capacity) : capacity_(capacity) {
    if (capacity > N) {
      heap_ = static_cast<Variant*>(::operator new(capacity * sizeof(Variant)));
      data_ = heap_;
    } else {
      data_ = reinterpret_cast<Variant*>(inline_);
    }
  }
  ~InlineVariants() {
    std::destroy_n(data_, size_);
    if (heap_) ::operator delete(heap_);
  }
  InlineVariants(const InlineVariants&) = delete;
  InlineVariants& operator=(const InlineVariants&) = delete;

  // Constructs the next Variant from args; more than the capacity is a
  // programming error and throws std::length_error.
  template <class... A>
  Variant& Emplace(A&&... args) {
    if (size_ == capacity_) throw std::length_error("InlineVariants: capacity exceeded");
    Variant* v = ::new (static_cast<void*>(data_ + size_)) Variant(std::forward<A>(args)...);
    ++size_;
    return *v;
  }

  // Constructs the next Variant from what make() returns, in place (a
  // returned Variant is never copied or moved).
  template <class Make>
  Variant& EmplaceFrom(Make&& make) {
    if (size_ == capacity_) throw std::length_error("InlineVariants: capacity exceeded");
    Variant* v = ::new (static_cast<void*>(data_ + size_)) Variant(make());
    ++size_;
    return *v;
  }

  Variant& operator[](std::size_t i) noexcept { return data_[i]; }
  Variant* data() noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

 private:
  alignas(Variant) unsigned char inline_[N * sizeof(Variant)];
  Variant* heap_ = nullptr;
  Variant* data_;
  std::size_t size_ = 0;
  std::size_t capacity_;
};

}  // namespace tarnel
