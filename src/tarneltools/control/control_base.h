// ControlBase<Self>: what the library's two controls share as objects a
// container holds: the dispatch interface from their table, a connection
// point container with one point for their event interface, and the face
// (size and labels) that a container shows and resizes. Self provides
// Type(), Class() (whose sourceInterface names the event interface),
// GetFace() and Resize().
// Apartment-thread only, like the controls.
#pragma once
#include "platform/automation/connection_point.h"
#include "platform/automation/control_site.h"
#include "platform/automation/dispatch_object.h"

namespace tarnel {

template <class Self>
class ControlBase : public DispatchObject<Self>, public ConnectionPointContainer, public ControlFaceProvider {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    return DispatchObject<Self>::QueryInterface(iid, out);
  }
  std::uint32_t AddRef() override { return DispatchObject<Self>::AddRef(); }
  std::uint32_t Release() override { return DispatchObject<Self>::Release(); }

  HRESULT FindConnectionPoint(const Guid& iid, ConnectionPoint** point) override {
    if (!point) return E_POINTER;
    if (iid != events_.Interface().Id()) {
      *point = nullptr;
      return CONNECT_E_NOCONNECTION;
    }
    *point = &events_;
    return S_OK;
  }

  // The point on which the control raises its events.
  ConnectionPoint& EventPoint() { return events_; }

 protected:
  ControlBase() : events_(*Self::Class()->sourceInterface) {}

  bool QueryExtra(const Guid& iid, void** out) override {
    if (iid == IID_IConnectionPointContainer) {
      *out = static_cast<ConnectionPointContainer*>(this);
      return true;
    }
    if (iid == IID_ControlFaceProvider) {
      *out = static_cast<ControlFaceProvider*>(this);
      return true;
    }
    return false;
  }

 private:
  ConnectionPoint events_;
};

}  // namespace tarnel
