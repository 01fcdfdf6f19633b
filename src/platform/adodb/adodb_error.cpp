// The object model's error numbers and their descriptions, kept in one
// table so that every object raises the same text for the same number.
#include "platform/adodb/adodb_error.h"

#include <algorithm>
#include <iterator>

namespace tarnel::adodb {
namespace {

struct ErrorEntry {
  int number;
  const char16_t* text;
};

// Sorted by number.
constexpr ErrorEntry kErrors[] = {
    {adErrProviderFailed, u"The provider could not carry out the requested operation."},
    {adErrInvalidArgument,
     u"Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another."},
    {adErrOpeningFile, u"File could not be opened."},
    {adErrReadFile, u"File could not be read."},
    {adErrWriteFile, u"Write to file failed."},
    {adErrNoCurrentRecord,
     u"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
     u"current record."},
    {adErrIllegalOperation, u"Operation is not allowed in this context."},
    {adErrCantChangeProvider, u"Supplied provider is different from the one already in use."},
    {adErrInTransaction, u"Connection object cannot be explicitly closed while in a transaction."},
    {adErrFeatureNotAvailable, u"Object or provider is not capable of performing requested operation."},
    {adErrItemNotFound, u"Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {adErrObjectInCollection, u"Object is already in collection. Cannot append."},
    {adErrObjectNotSet, u"Object is no longer valid."},
    {adErrDataConversion, u"Application uses a value of the wrong type for the current operation."},
    {adErrObjectClosed, u"Operation is not allowed when the object is closed."},
    {adErrObjectOpen, u"Operation is not allowed when the object is open."},
    {adErrProviderNotFound, u"Provider cannot be found. It may not be properly installed."},
    {adErrBoundToCommand,
     u"Cannot change the ActiveConnection property of a Recordset object which has a Command object as its "
     u"source."},
    {adErrInvalidParamInfo, u"Parameter object is improperly defined. Inconsistent or incomplete information was "
                            u"provided."},
    {adErrInvalidConnection,
     u"The connection cannot be used to perform this operation. It is either closed or invalid in this context."},
    {adErrNotReentrant, u"Operation cannot be performed while processing event."},
    {adErrStillExecuting, u"Operation cannot be performed while executing asynchronously."},
    {adErrOperationCancelled, u"Operation has been cancelled by the user."},
    {adErrStillConnecting, u"Operation cannot be performed while connecting asynchronously."},
    {adErrInvalidTransaction, u"Coordinating transaction is invalid or has not started."},
    {adErrNotExecuting, u"Operation cannot be performed while not executing."},
    {adErrCantConvertvalue, u"Data value cannot be converted for reasons other than sign mismatch or data overflow."},
    {adErrProviderNotSpecified, u"No provider was specified and there is no designated default provider."},
};

}  // namespace

const char16_t* AdoErrorText(int number) {
  auto it = std::lower_bound(std::begin(kErrors), std::end(kErrors), number,
                             [](const ErrorEntry& e, int n) { return e.number < n; });
  if (it != std::end(kErrors) && it->number == number) return it->text;
  return u"The data access objects reported an error.";
}

ComError AdoError(int number, const char16_t* source) {
  return ComError(ControlError(number), AdoErrorText(number), source ? source : u"");
}

void RaiseAdo(int number, const char16_t* source) { throw AdoError(number, source); }

void RaiseAdo(int number, const char16_t* source, UString description) {
  throw ComError(ControlError(number), std::move(description), source ? source : u"");
}

}  // namespace tarnel::adodb
