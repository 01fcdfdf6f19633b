// The error record of the database providers: what one engine diagnostic
// becomes (an entry of Connection.Errors), and Status, the error a provider
// operation raises to its caller. Plain values; they are created on the
// thread where the error happened and then moved to the apartment thread.
//
// Numbers (decided once for both providers):
//  - an engine error (syntax, constraint, lost connection, busy database,
//    refused login, ...) raises E_FAIL (0x80004005, -2147467259), as ADO does
//    for provider failures; every Error record carries the same number;
//  - a statement stopped by Cancel or by the release of its connection:
//    DB_E_CANCELED (0x80040E4E);
//  - a command that ran past its time-out: DB_E_ABORTLIMITREACHED
//    (0x80040E31), SQLState HYT00, description "Query timeout expired";
//  - CommitTrans / RollbackTrans with no open transaction:
//    XACT_E_NOTRANSACTION (0x8004D00E);
//  - ADO's own checks (unknown provider 3706, malformed connection string
//    3001, feature not available 3251) raise 0x800A0000 + n and put nothing
//    into the Errors collection.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/hresult.h"

namespace tarnel::adodb::provider {

constexpr HRESULT DB_E_CANCELED = MakeHResult(0x80040E4E);
constexpr HRESULT DB_E_ABORTLIMITREACHED = MakeHResult(0x80040E31);
constexpr HRESULT XACT_E_NOTRANSACTION = MakeHResult(0x8004D00E);

// ADO's own error numbers used by the providers.
constexpr int kAdoInvalidArgument = 3001;
constexpr int kAdoFeatureNotAvailable = 3251;
constexpr int kAdoProviderNotFound = 3706;
constexpr int kAdoOperationCancelled = 3712;

// The Error object's data: one provider diagnostic.
struct ErrorRecord {
  HRESULT number = E_FAIL;
  std::string description;  // UTF-8, the engine's own message
  std::string source;       // "TarnelTools SQLite Provider", ...
  std::string sqlState;     // five characters
  std::int32_t nativeError = 0;
};

// The record of a statement that the caller cancelled or that ran past its
// command time-out, the same for every engine but for its source.
inline ErrorRecord StoppedRecord(bool timedOut, std::string source) {
  ErrorRecord r;
  r.source = std::move(source);
  r.number = timedOut ? DB_E_ABORTLIMITREACHED : DB_E_CANCELED;
  r.description = timedOut ? "Query timeout expired" : "Operation cancelled";
  r.sqlState = timedOut ? "HYT00" : "HY008";
  return r;
}

// The outcome of a provider operation as the caller raises it: number 0 is
// success. `errors` holds the records for Connection.Errors (empty for ADO's
// own errors); `warnings` holds notices that did not make the operation fail
// (Connection.Errors entries that raise nothing; InfoMessage).
struct Status {
  HRESULT number = S_OK;
  std::string description;  // UTF-8
  std::vector<ErrorRecord> errors;
  std::vector<ErrorRecord> warnings;

  bool ok() const { return number >= 0; }

  // A provider failure: raises `record.number` with the record's text and
  // puts the record into the Errors collection.
  static Status FromRecord(ErrorRecord record) {
    Status s;
    s.number = record.number;
    s.description = record.description;
    s.errors.push_back(std::move(record));
    return s;
  }
  // One of ADO's own errors (0x800A0000 + n): nothing for Connection.Errors.
  static Status Ado(int n, std::string description) {
    Status s;
    s.number = ControlError(n);
    s.description = std::move(description);
    return s;
  }
};

}  // namespace tarnel::adodb::provider
