// The ADO control's record of the statements it started and still awaits:
// for each handle whose statement runs in the background, the connection it
// runs on and, once Execute has returned, the recordset and command that
// identify its completion. A completion is credited to the handle whose
// statement it completes and to no other, whichever connection the control
// forwards events from at that moment.
// Thread rule: owned by one ADO control and used on its apartment thread
// only. The record holds references to the objects it names until the
// statement completes, is superseded by the handle's next statement, or the
// handle is given back.
//
// How AdoExec and AdoCmdExec use it (through the control's private members
// declared in ado_control.h, defined in statement_tracking.cpp):
//   BeginStatement(h, connection)    before Execute: mhADO = h, slot h's
//                                    bExecuting true, and the control listens
//                                    for completions on `connection`;
//   AttachStatement(h, rs, cmd)      Execute returned: the statement's
//                                    recordset and command (either may be
//                                    null, as for adExecuteNoRecords);
//   StatementNotStarted(h)           Execute (or a step before it) failed:
//                                    clears slot h's flag unless a completion
//                                    already did, and forgets the statement;
//   ForgetStatements(h)              the handle is given back (AdoDisconnect,
//                                    AdoCmdClose): a later completion of its
//                                    statement changes no slot.
// A completion is recognised by the statement's recordset or command, which
// the record keeps alive until then, so a completion that arrives late (a
// superseded statement, a handle given back) is never taken for another's.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/automation/dispatch.h"

namespace tarnel {

// One statement the control started and whose completion it awaits.
struct StartedStatement {
  std::int32_t hADO = -1;
  ComPtr<Unknown> connection;  // identity of the connection it runs on
  ComPtr<Unknown> recordset;   // identity of its recordset, once attached
  ComPtr<Unknown> command;     // identity of its command, once attached
  bool attached = false;       // Execute has returned
  bool retired = false;        // superseded or its handle given back: its
                               // completion is recognised and credits no one
};

class StatementTracker {
 public:
  // Records the statement that is about to start for hADO on connection.
  // A statement of hADO still awaited is retired: its completion will
  // change no slot.
  void Begin(std::int32_t hADO, Dispatch* connection);
  // Execute returned: the statement of hADO is identified by its recordset
  // and command from now on.
  void Attach(std::int32_t hADO, Dispatch* recordset, Dispatch* command);
  // Forgets the statement of hADO that did not start; true when it was
  // still awaited (no completion had been credited for it).
  bool Drop(std::int32_t hADO);
  // The handle is given back: its statement, if still running, is retired.
  void Retire(std::int32_t hADO);
  // The connection closed: forgets every statement on it and returns the
  // handles whose statements were still awaited.
  std::vector<std::int32_t> EndConnection(Unknown* connection);

  // The handle whose statement a completion reported by `connection` for
  // `recordset` and `command` completes, and forgets that statement; empty
  // when it completes none of the awaited statements, or a retired one. A
  // statement matches by its recordset or its command, the oldest first; one
  // that is still being started (Execute has not returned) matches a
  // completion of its connection that matches no started statement.
  std::optional<std::int32_t> Complete(Unknown* connection, Unknown* recordset, Unknown* command);

  // Whether a statement on `connection` is awaited.
  bool Awaits(Unknown* connection) const;
  bool Empty() const { return statements_.empty(); }
  // Forgets everything (the control terminates).
  void Clear() { statements_.clear(); }

 private:
  std::vector<StartedStatement> statements_;
};

// The identity of an object: its IUnknown, which is the same pointer for
// every interface pointer of one object. Null for null.
ComPtr<Unknown> ObjectIdentity(Unknown* object);

}  // namespace tarnel
