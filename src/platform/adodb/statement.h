// The bookkeeping of statements between the object model and the provider:
// what a caller (Connection.Execute, Command.Execute, Recordset.Open and
// Requery) asks to run, the slot in which the provider's worker leaves the
// result of an asynchronous operation, and the record the Connection keeps
// of every asynchronous statement until its completion events are raised.
// Thread rule: an AsyncSlot's `result` is written once by the worker before
// `ready` is set (release); the apartment thread reads it only after seeing
// `ready` (acquire). Everything else is apartment-thread only.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

#include "platform/adodb/adodb_enums.h"
#include "platform/adodb/adodb_weak.h"
#include "platform/adodb/provider/provider.h"
#include "platform/automation/unknown.h"

namespace tarnel::adodb {

class Command;
class Parameter;
class Recordset;

struct AsyncSlot {
  std::atomic<bool> ready{false};
  provider::Result result;
  bool adopted = false;  // apartment thread: the result has been handed over
};

// A statement to run on a connection.
struct StatementRequest {
  UString source;                   // the text as the caller gave it (Recordset.Source)
  std::int32_t commandType = adCmdUnknown;
  std::int32_t options = 0;         // ExecuteOptionEnum bits (async, no records, ...)
  std::int32_t cursorType = adOpenForwardOnly;
  std::int32_t lockType = adLockReadOnly;
  std::int32_t timeoutSeconds = 30;
  std::int64_t maxRecords = 0;
  std::vector<provider::Parameter> parameters;
  std::vector<ComPtr<Parameter>> parameterObjects;  // receive output values, in the same order
  Command* command = nullptr;       // pCommand of WillExecute (Command.Execute)
  Recordset* target = nullptr;      // the recordset the rows go to (null with adExecuteNoRecords)
  bool targetInWillExecute = false; // Recordset.Open passes its recordset to WillExecute
  std::shared_ptr<AsyncSlot> started;  // out: the slot of a statement started in the background
};

// An asynchronous statement from its start until its completion events.
struct PendingStatement {
  std::shared_ptr<AsyncSlot> slot;
  provider::JobId job = 0;
  WeakRef<Recordset> target;
  WeakRef<Command> command;
  std::vector<ComPtr<Parameter>> parameterObjects;
  UString source;          // the text that ran (for the Command of ExecuteComplete)
  bool cancelled = false;  // by Cancel or Connection.Close: stopped, its result goes nowhere
  bool detached = false;   // its recordset was closed: it runs on, its rows go nowhere
};

}  // namespace tarnel::adodb
