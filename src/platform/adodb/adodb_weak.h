// A weak reference between data access objects of one apartment: the
// referenced object owns an anchor that it clears when it is destroyed, and
// a WeakRef reads null from then on. WeakRefs may be copied and destroyed
// on any thread (a provider completion carries one to the apartment), but
// only the apartment thread may read them.
#pragma once
#include <memory>

namespace tarnel::adodb {

template <class T>
class WeakRef {
 public:
  WeakRef() = default;
  explicit WeakRef(std::shared_ptr<T*> cell) : cell_(std::move(cell)) {}
  T* get() const { return cell_ ? *cell_ : nullptr; }
  explicit operator bool() const { return get() != nullptr; }
  bool operator==(const WeakRef& o) const { return cell_ == o.cell_; }

 private:
  std::shared_ptr<T*> cell_;
};

template <class T>
class WeakAnchor {
 public:
  explicit WeakAnchor(T* self) : cell_(std::make_shared<T*>(self)) {}
  WeakAnchor(const WeakAnchor&) = delete;
  WeakAnchor& operator=(const WeakAnchor&) = delete;
  ~WeakAnchor() { *cell_ = nullptr; }
  WeakRef<T> Ref() const { return WeakRef<T>(cell_); }

 private:
  std::shared_ptr<T*> cell_;
};

}  // namespace tarnel::adodb
