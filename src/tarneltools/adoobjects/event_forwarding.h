// The ADO control's subscriptions to the events of ADO objects: the one
// connection and the one recordset whose events it forwards to its
// container, and the connections on which it awaits the completion of a
// statement it started. Each connection has at most one sink, which serves
// both purposes, so every completion is handled exactly once whichever of
// them holds at that moment.
// Thread rule: owned by one ADO control and used on its apartment thread
// only. A sink keeps its ADO object alive while it is advised; the control
// ends every subscription when it terminates (the destructor), which breaks
// the reference cycle between an ADO object and its sink.
#pragma once
#include <vector>

#include "platform/automation/dispatch.h"

namespace tarnel {

class AdoControl;
class AdoEventSink;
class StatementTracker;

class EventSubscriptions {
 public:
  EventSubscriptions();
  EventSubscriptions(const EventSubscriptions&) = delete;
  EventSubscriptions& operator=(const EventSubscriptions&) = delete;
  ~EventSubscriptions();

  // Makes `connection` the connection whose events reach `control`'s
  // container (null: none). The previous one stops being forwarded. Raises
  // the failure of finding its connection point or advising it; nothing
  // changes then.
  void ForwardConnection(AdoControl& control, Dispatch* connection);
  // The same for the recordset whose events are forwarded.
  void ForwardRecordset(AdoControl& control, Dispatch* recordset);
  // Makes sure `control` hears the completions of `connection`'s
  // statements. Raises the failure of advising.
  void Listen(AdoControl& control, Dispatch* connection);
  // Ends the connection subscriptions that serve neither purpose any more:
  // not forwarded, and no statement awaited on the connection.
  void Prune(const StatementTracker& awaited);
  // Ends every subscription.
  void Clear();

 private:
  std::vector<ComPtr<AdoEventSink>> connections_;
  ComPtr<AdoEventSink> recordset_;
};

}  // namespace tarnel
