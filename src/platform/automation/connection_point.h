// Connection points: how an object raises events on the sinks that its
// clients advise (IConnectionPoint, IConnectionPointContainer). A point
// keeps its sinks in order of Advise; Fire calls each in turn on the
// apartment thread, over a snapshot of the list and holding a reference to
// each sink, so a sink may Unadvise or call back into the source meanwhile.
// By-reference arguments reach the sinks as VT_BYREF values that point at
// the source's own variables, so what a sink writes there the source reads
// after Fire returns.
#pragma once
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/type_info.h"

namespace tarnel {

class ConnectionPoint {
 public:
  explicit ConnectionPoint(const TypeInfo& eventInterface) : type_(eventInterface) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint();

  const TypeInfo& Interface() const { return type_; }
  // Connects a sink; the cookie is non-zero and unique within the point.
  HRESULT Advise(Dispatch* sink, std::uint32_t* cookie);
  HRESULT Unadvise(std::uint32_t cookie);
  void UnadviseAll();
  bool HasSinks() const { return !sinks_.empty(); }

  // Raises event `id` with arguments first-to-last. A sink's failure is
  // returned (the first one) but does not stop the other sinks.
  HRESULT Fire(DispId id, std::vector<Variant>& args);

 private:
  struct Sink {
    std::uint32_t cookie;
    ComPtr<Dispatch> sink;
  };
  const TypeInfo& type_;
  std::vector<Sink> sinks_;
  std::uint32_t nextCookie_ = 1;
};

// The common part of an event sink: an object that answers to the event
// interface it listens to (its type information names the events and their
// parameters). Subclasses implement Invoke, which receives each event.
class EventSink : public RefCounted<Dispatch> {
 public:
  explicit EventSink(const TypeInfo& events) : events_(events) {}
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_.Id()) {
      *out = static_cast<Dispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  const TypeInfo* GetTypeInfo() override { return &events_; }
  HRESULT GetIDsOfNames(const UString* names, std::uint32_t count, DispId* ids) override {
    return events_.GetIDsOfNames(names, count, ids);
  }

 protected:
  const TypeInfo& events_;
};

class ConnectionPointContainer : public Unknown {
 public:
  // The point for the event interface iid, or CONNECT_E_NOCONNECTION.
  virtual HRESULT FindConnectionPoint(const Guid& iid, ConnectionPoint** point) = 0;
};

}  // namespace tarnel
