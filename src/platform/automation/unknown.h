// Unknown and ComPtr: reference-counted objects with interface lookup by
// GUID, the base of every automation object. Reference counts are atomic so
// that a provider thread may hold an object alive, but every other use of an
// object belongs to the apartment thread that created it.
#pragma once
#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"

namespace tarnel {

constexpr Guid IID_IUnknown = MakeGuid("00000000-0000-0000-C000-000000000046");
constexpr Guid IID_IDispatch = MakeGuid("00020400-0000-0000-C000-000000000046");
constexpr Guid IID_IConnectionPointContainer = MakeGuid("B196B284-BAB4-101A-B69C-00AA00341D07");
constexpr Guid IID_IConnectionPoint = MakeGuid("B196B286-BAB4-101A-B69C-00AA00341D07");
constexpr Guid IID_IProvideClassInfo = MakeGuid("B196B283-BAB4-101A-B69C-00AA00341D07");
constexpr Guid IID_IClassFactory = MakeGuid("00000001-0000-0000-C000-000000000046");
constexpr Guid IID_NULL{};

class Unknown {
 public:
  virtual HRESULT QueryInterface(const Guid& iid, void** out) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~Unknown() = default;
};

// A smart pointer that holds one reference.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes an additional reference on p.
  ComPtr(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) noexcept : p_(o.get()) { if (p_) p_->AddRef(); }
  ~ComPtr() { if (p_) p_->Release(); }
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }

  // Adopts p without adding a reference (for a fresh object).
  static ComPtr Adopt(T* p) noexcept { ComPtr c; c.p_ = p; return c; }
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Reset() noexcept { if (p_) std::exchange(p_, nullptr)->Release(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }

  // QueryInterface into another interface type.
  template <class U>
  ComPtr<U> As(const Guid& iid) const {
    void* out = nullptr;
    if (p_ && Succeeded(p_->QueryInterface(iid, &out))) return ComPtr<U>::Adopt(static_cast<U*>(out));
    return {};
  }

 private:
  T* p_ = nullptr;
};

// Creates a new object with its first reference held by the ComPtr.
template <class T, class... A>
ComPtr<T> MakeObject(A&&... args) {
  return ComPtr<T>::Adopt(new T(std::forward<A>(args)...));
}

// Counts live objects and locks of a module, for DllCanUnloadNow. The
// counter has hidden visibility, so each shared object (the platform, each
// component library) keeps its own.
class ModuleLock {
 public:
  static void Add() noexcept { ++counter_; }
  static void Remove() noexcept { --counter_; }
  static long Count() noexcept { return counter_.load(); }

 private:
  __attribute__((visibility("hidden"))) static inline std::atomic<long> counter_{0};
};

// The reference-counting part of an object, mixed in by implementations.
// The object deletes itself when the count drops to zero.
template <class Base>
class RefCounted : public Base {
 public:
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    std::uint32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  RefCounted() { ModuleLock::Add(); }
  ~RefCounted() override { ModuleLock::Remove(); }

 private:
  std::atomic<std::uint32_t> refs_{1};
};

}  // namespace tarnel
