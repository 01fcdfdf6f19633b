// The PostgreSQL client library, loaded when the first PostgreSQL
// connection opens instead of with the platform: a process that never uses
// PostgreSQL neither needs libpq installed nor pays for loading it and the
// many libraries it depends on at every start. The backend calls libpq
// only through Pq(), after LoadPqLibrary has succeeded.
#pragma once
#include <string>

#include <libpq-fe.h>

namespace tarnel::adodb::provider {

// Every libpq function the backend calls.
#define TARNEL_PQ_FUNCTIONS(X) \
  X(PQcancel) X(PQclear) X(PQcmdStatus) X(PQcmdTuples) X(PQconnectPoll) X(PQconnectStartParams) \
  X(PQconsumeInput) X(PQerrorMessage) X(PQfinish) X(PQfmod) X(PQfname) X(PQfreeCancel) X(PQfreemem) \
  X(PQftable) X(PQftablecol) X(PQftype) X(PQgetCancel) X(PQgetCopyData) X(PQgetResult) X(PQgetisnull) \
  X(PQgetlength) X(PQgetvalue) X(PQisBusy) X(PQnfields) X(PQntuples) X(PQputCopyEnd) X(PQresultErrorField) \
  X(PQresultErrorMessage) X(PQresultStatus) X(PQsendQuery) X(PQsendQueryParams) X(PQsetNoticeReceiver) \
  X(PQsocket) X(PQstatus) X(PQtransactionStatus) X(PQunescapeBytea)

struct PqFunctions {
#define TARNEL_PQ_MEMBER(name) decltype(&::name) name = nullptr;
  TARNEL_PQ_FUNCTIONS(TARNEL_PQ_MEMBER)
#undef TARNEL_PQ_MEMBER
};

// Loads libpq once per process (thread-safe); later calls give the same
// outcome. Null, with the reason in error, when it cannot be loaded or
// lacks a function.
const PqFunctions* LoadPqLibrary(std::string& error);

// The loaded functions: only valid once LoadPqLibrary has succeeded.
const PqFunctions& Pq();

}  // namespace tarnel::adodb::provider
