// Connection points: the list of advised sinks of one event interface and
// the raising of an event on each of them in turn.
#include "platform/automation/connection_point.h"

#include <algorithm>

namespace tarnel {

ConnectionPoint::~ConnectionPoint() { UnadviseAll(); }

HRESULT ConnectionPoint::Advise(Dispatch* sink, std::uint32_t* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = nextCookie_++;
  sinks_.push_back(Sink{*cookie, ComPtr<Dispatch>(sink)});
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t cookie) {
  auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const Sink& s) { return s.cookie == cookie; });
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  ComPtr<Dispatch> keep = std::move(it->sink);  // released after the list is consistent
  sinks_.erase(it);
  return S_OK;
}

void ConnectionPoint::UnadviseAll() {
  std::vector<Sink> old;
  old.swap(sinks_);
}

HRESULT ConnectionPoint::Fire(DispId id, std::vector<Variant>& args) {
  if (sinks_.empty()) return S_OK;
  std::vector<Sink> snapshot = sinks_;
  HRESULT first = S_OK;
  for (const Sink& s : snapshot) {
    // A sink unadvised by an earlier one during this event gets nothing more.
    bool still = std::any_of(sinks_.begin(), sinks_.end(), [&](const Sink& x) { return x.cookie == s.cookie; });
    if (!still) continue;
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DispParams params;
    params.rgvarg = reversed.data();
    params.cArgs = static_cast<std::uint32_t>(reversed.size());
    ExcepInfo excep;
    std::uint32_t argErr = 0;
    HRESULT hr = s.sink->Invoke(id, DISPATCH_METHOD, &params, nullptr, &excep, &argErr);
    if (Failed(hr) && hr != DISP_E_MEMBERNOTFOUND && Succeeded(first)) first = hr;
  }
  return first;
}

}  // namespace tarnel
