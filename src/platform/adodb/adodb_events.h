// The event side of Connection and Recordset: a dispatch object that is
// also a connection-point container with one point for its event interface
// (ConnectionEvents or RecordsetEvents). Raise fires an event on every
// advised sink with the by-reference arguments pointing at the caller's
// variables, and honours adStatusUnwantedEvent: a sink that answers it is
// not called with that event (and reason) again until ResetUnwanted.
// Apartment-thread only, like the object.
#pragma once
#include <utility>
#include <vector>

#include "platform/adodb/adodb_enums.h"
#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch_object.h"

namespace tarnel::adodb {

template <class Self>
class EventSourceObject : public DispatchObject<Self>, public ConnectionPointContainer {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override { return DispatchObject<Self>::QueryInterface(iid, out); }
  std::uint32_t AddRef() override { return DispatchObject<Self>::AddRef(); }
  std::uint32_t Release() override { return DispatchObject<Self>::Release(); }

  HRESULT FindConnectionPoint(const Guid& iid, ConnectionPoint** point) override {
    if (!point) return E_POINTER;
    if (iid == point_.Interface().Id()) {
      *point = &point_;
      return S_OK;
    }
    *point = nullptr;
    return CONNECT_E_NOCONNECTION;
  }

  // The connection point itself, for code of the platform that advises
  // without going through QueryInterface.
  ConnectionPoint& Events() { return point_; }

 protected:
  explicit EventSourceObject(const TypeInfo& events) : point_(events) {}

  bool QueryExtra(const Guid& iid, void** out) override {
    if (iid == IID_IConnectionPointContainer) {
      *out = static_cast<ConnectionPointContainer*>(this);
      return true;
    }
    return false;
  }

  // Whether event `id` (with `reason`, 0 for events without one) would
  // reach any sink; callers skip building arguments when it would not.
  bool Wants(DispId id, std::int32_t reason = 0) const {
    if (!point_.HasSinks()) return false;
    for (const auto& u : unwanted_) {
      if (u.first == id && u.second == reason) return false;
    }
    return true;
  }

  // Fires event `id` with `args` (first to last). `status` is the
  // adStatus variable that one of the arguments references; after the
  // sinks returned it holds their answer. An answer of
  // adStatusUnwantedEvent is recorded and turned back into `entry`.
  void Raise(DispId id, std::vector<Variant>& args, std::int32_t& status, std::int32_t reason = 0) {
    const std::int32_t entry = status;
    point_.Fire(id, args);
    if (status == adStatusUnwantedEvent) {
      unwanted_.emplace_back(id, reason);
      status = entry;
    }
  }

  void ResetUnwanted() { unwanted_.clear(); }

 private:
  ConnectionPoint point_;
  std::vector<std::pair<DispId, std::int32_t>> unwanted_;
};

// A Variant that references an adStatus (or other Long) variable.
inline Variant LongRef(std::int32_t& target) { return Variant::RefTyped(VT_I4, &target); }
// An object argument (Nothing for null).
inline Variant ObjectArg(Dispatch* object) { return Variant(object); }

}  // namespace tarnel::adodb
