// The executing-flag protocol of the ADO control: AdoExec and AdoCmdExec
// record the handle of the statement they start in mhADO, set its slot's
// executing flag and register the statement here; each completion that ADO
// reports is credited to the handle whose statement it completes (matched
// by its recordset or command), which stores the records affected and
// clears that slot's flag. Completions that match no awaited statement
// change no slot.
#include "tarneltools/ado/statement_tracking.h"

#include <algorithm>

#include "tarneltools/control/ado_control.h"

namespace tarnel {

ComPtr<Unknown> ObjectIdentity(Unknown* object) {
  if (!object) return {};
  void* out = nullptr;
  if (Succeeded(object->QueryInterface(IID_IUnknown, &out)) && out) {
    return ComPtr<Unknown>::Adopt(static_cast<Unknown*>(out));
  }
  return ComPtr<Unknown>(object);
}

void StatementTracker::Begin(std::int32_t hADO, Dispatch* connection) {
  Retire(hADO);
  StartedStatement started;
  started.hADO = hADO;
  started.connection = ObjectIdentity(connection);
  statements_.push_back(std::move(started));
}

void StatementTracker::Attach(std::int32_t hADO, Dispatch* recordset, Dispatch* command) {
  for (StartedStatement& s : statements_) {
    if (s.hADO != hADO || s.attached || s.retired) continue;
    s.recordset = ObjectIdentity(recordset);
    s.command = ObjectIdentity(command);
    s.attached = true;
    return;
  }
  // Nothing to attach: the statement completed while Execute still ran
  // (a cancelled WillExecute), or the handle was given back meanwhile.
}

bool StatementTracker::Drop(std::int32_t hADO) {
  return std::erase_if(statements_, [&](const StartedStatement& s) { return !s.retired && s.hADO == hADO; }) > 0;
}

void StatementTracker::Retire(std::int32_t hADO) {
  // A statement that never got as far as Execute returning has nothing by
  // which its completion could be recognised; it is simply forgotten.
  std::erase_if(statements_, [&](const StartedStatement& s) { return !s.retired && s.hADO == hADO && !s.attached; });
  for (StartedStatement& s : statements_) {
    if (s.retired || s.hADO != hADO) continue;
    s.retired = true;
    s.hADO = -1;
  }
}

std::vector<std::int32_t> StatementTracker::EndConnection(Unknown* connection) {
  const ComPtr<Unknown> conn = ObjectIdentity(connection);
  std::vector<std::int32_t> ended;
  for (const StartedStatement& s : statements_) {
    if (s.connection == conn && !s.retired) ended.push_back(s.hADO);
  }
  std::erase_if(statements_, [&](const StartedStatement& s) { return s.connection == conn; });
  return ended;
}

std::optional<std::int32_t> StatementTracker::Complete(Unknown* connection, Unknown* recordset, Unknown* command) {
  const ComPtr<Unknown> conn = ObjectIdentity(connection);
  const ComPtr<Unknown> rs = ObjectIdentity(recordset);
  const ComPtr<Unknown> cmd = ObjectIdentity(command);
  auto take = [&](std::vector<StartedStatement>::iterator it) {
    const bool retired = it->retired;
    const std::int32_t h = it->hADO;
    statements_.erase(it);
    return retired ? std::nullopt : std::optional<std::int32_t>(h);
  };
  // 1. A statement whose recordset or command the completion names.
  auto it = std::find_if(statements_.begin(), statements_.end(), [&](const StartedStatement& s) {
    return s.attached && ((rs && s.recordset == rs) || (cmd && s.command == cmd));
  });
  if (it != statements_.end()) return take(it);
  // 2. A statement of this connection that is still being started: ADO
  //    reports some completions (a cancelled WillExecute) before Execute
  //    returns the recordset.
  it = std::find_if(statements_.begin(), statements_.end(), [&](const StartedStatement& s) {
    return !s.attached && !s.retired && s.connection == conn;
  });
  if (it != statements_.end()) return take(it);
  // 3. A statement of this connection that has neither recordset nor
  //    command (adExecuteNoRecords), the oldest first: a connection
  //    completes its statements in the order they were started.
  it = std::find_if(statements_.begin(), statements_.end(), [&](const StartedStatement& s) {
    return s.attached && !s.recordset && !s.command && s.connection == conn;
  });
  if (it != statements_.end()) return take(it);
  return std::nullopt;
}

bool StatementTracker::Awaits(Unknown* connection) const {
  const ComPtr<Unknown> conn = ObjectIdentity(connection);
  return std::any_of(statements_.begin(), statements_.end(),
                     [&](const StartedStatement& s) { return s.connection == conn; });
}

void AdoControl::BeginStatement(std::int32_t hADO, Dispatch* connection) {
  // Subscribe first: when that fails nothing has changed yet.
  mSubscriptions.Listen(*this, connection);
  mhADO = hADO;
  mSlots.At(hADO).bExecuting = VARIANT_TRUE;
  mStatements.Begin(hADO, connection);
}

void AdoControl::AttachStatement(std::int32_t hADO, Dispatch* recordset, Dispatch* command) {
  mStatements.Attach(hADO, recordset, command);
}

void AdoControl::StatementNotStarted(std::int32_t hADO) {
  // When a completion was credited meanwhile, the flag is already clear
  // and the handle may have started nothing else since.
  if (mStatements.Drop(hADO) && hADO >= mSlots.LBound() && hADO <= mSlots.UBound()) {
    mSlots[hADO].bExecuting = VARIANT_FALSE;
  }
  mSubscriptions.Prune(mStatements);
}

void AdoControl::ForgetStatements(std::int32_t hADO) {
  mStatements.Retire(hADO);
  mSubscriptions.Prune(mStatements);
}

void AdoControl::StatementsEnded(Dispatch* connection) {
  // A closed connection completes nothing more: the statements still
  // running on it have ended, and their handles stop executing.
  for (std::int32_t h : mStatements.EndConnection(connection)) {
    if (h >= mSlots.LBound() && h <= mSlots.UBound()) mSlots[h].bExecuting = VARIANT_FALSE;
  }
  mSubscriptions.Prune(mStatements);
}

std::optional<std::int32_t> AdoControl::CreditCompletion(Dispatch* connection, Dispatch* recordset, Dispatch* command,
                                                         std::int32_t recordsAffected) {
  std::optional<std::int32_t> h = mStatements.Complete(connection, recordset, command);
  if (h && ValidHandle(*h)) {
    SlotPin pin(mSlots);
    AdoSlot& slot = mSlots[*h];
    slot.nRecordsAffected = recordsAffected;
    slot.bExecuting = VARIANT_FALSE;
  } else {
    h.reset();
  }
  mSubscriptions.Prune(mStatements);
  return h;
}

}  // namespace tarnel
