// The PostgreSQL provider's connection: reading its connection-string
// settings (with the ADO synonyms), connecting through PQconnectStartParams
// and PQconnectPoll under our own connection time-out, waiting on the
// socket in short slices so that a cancel is seen, and closing.
#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/adodb/provider/postgresql/postgresql_backend.h"
#include "platform/adodb/provider/settings.h"

namespace tarnel::adodb::provider {

namespace {

constexpr auto kSlice = std::chrono::milliseconds(50);

std::string DurationText(std::chrono::milliseconds d) {
  if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " s";
  return std::to_string(d.count()) + " ms";
}

}  // namespace

std::unique_ptr<Backend> CreatePostgresqlBackend(const ConnectionString& cs, const ConnectOptions& options,
                                                 Status* status) {
  *status = CheckKeywords(cs,
                          {"Server", "Data Source", "Host", "Address", "Addr", "Network Address", "Port",
                           "Database", "Initial Catalog", "DBName", "User ID", "UID", "User", "Username",
                           "User Name", "Password", "PWD", "SSL Mode", "SSLMode"},
                          "PostgreSQL");
  if (!status->ok()) return nullptr;
  PostgresqlSettings s;
  const auto read = [&](std::string& target, std::initializer_list<std::string_view> names) {
    if (const std::string* v = cs.FindAny(names)) target = *v;
  };
  read(s.host, {"Server", "Data Source", "Host", "Address", "Addr", "Network Address"});
  read(s.port, {"Port"});
  read(s.database, {"Database", "Initial Catalog", "DBName"});
  read(s.user, {"User ID", "UID", "User", "Username", "User Name"});
  read(s.password, {"Password", "PWD"});
  read(s.sslMode, {"SSL Mode", "SSLMode"});
  read(s.applicationName, {"Application Name"});
  if (!options.userId.empty()) s.user = options.userId;
  if (!options.password.empty()) s.password = options.password;
  if (!s.port.empty() && !ParseCount(s.port, 65535)) {
    *status = Status::Ado(kAdoInvalidArgument, "The port '" + s.port + "' is not a number from 0 to 65535.");
    return nullptr;
  }
  *status = ReadReadOnlyMode(cs, options.mode, &s.readOnly);
  if (!status->ok()) return nullptr;
  *status = ReadConnectTimeout(cs, options.connectTimeout, &s.connectTimeout);
  if (!status->ok()) return nullptr;
  return std::make_unique<PostgresqlBackend>(std::move(s));
}

Status PostgresqlBackend::Connect(const JobControl& control) {
  // Dates in ISO form and money without locale symbols make the text
  // values parseable; the rest of libpq's defaults (PG* variables) apply.
  std::string serverOptions = "-c DateStyle=ISO,YMD -c lc_monetary=C";
  if (settings_.readOnly) serverOptions += " -c default_transaction_read_only=on";
  std::vector<const char*> keys, values;
  const auto add = [&](const char* key, const std::string& value) {
    if (value.empty()) return;
    keys.push_back(key);
    values.push_back(value.c_str());
  };
  add("host", settings_.host);
  add("port", settings_.port);
  add("dbname", settings_.database);
  add("user", settings_.user);
  add("password", settings_.password);
  add("sslmode", settings_.sslMode);
  add("application_name", settings_.applicationName);
  add("options", serverOptions);
  const std::string encoding = "UTF8";
  add("client_encoding", encoding);
  keys.push_back(nullptr);
  values.push_back(nullptr);

  std::string unavailable;
  if (!LoadPqLibrary(unavailable)) return Status::FromRecord(PgConnectionError(unavailable, "08001"));
  PGconn* conn = Pq().PQconnectStartParams(keys.data(), values.data(), 0);
  if (!conn) return Status::FromRecord(PgConnectionError("Out of memory while connecting.", "HY001"));
  conn_ = conn;  // WaitSocket works on conn_
  const Clock::time_point deadline =
      settings_.connectTimeout.count() > 0 ? Clock::now() + settings_.connectTimeout : Clock::time_point::max();
  PostgresPollingStatusType poll = Pq().PQstatus(conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
  while (poll != PGRES_POLLING_OK && poll != PGRES_POLLING_FAILED) {
    const Wait w = WaitSocket(poll == PGRES_POLLING_WRITING, deadline, &control);
    if (w == Wait::TimedOut || w == Wait::Cancelled) {
      Pq().PQfinish(conn);
      conn_ = nullptr;
      if (w == Wait::Cancelled) return Status::FromRecord(PgStoppedRecord(false));
      const std::string where = (settings_.host.empty() ? std::string("the default server") : settings_.host) +
                                (settings_.port.empty() ? "" : ":" + settings_.port);
      return Status::FromRecord(PgConnectionError(
          "Login timeout expired: " + where + " did not complete the connection within " +
              DurationText(settings_.connectTimeout) + ".",
          "HYT00"));
    }
    poll = Pq().PQconnectPoll(conn);
  }
  if (poll == PGRES_POLLING_FAILED) {
    ErrorRecord r = PgConnectionError(Pq().PQerrorMessage(conn));
    Pq().PQfinish(conn);
    conn_ = nullptr;
    return Status::FromRecord(std::move(r));
  }
  cancel_ = Pq().PQgetCancel(conn_);
  Pq().PQsetNoticeReceiver(conn_, &PostgresqlBackend::OnNotice, this);
  return {};
}

void PostgresqlBackend::Disconnect() {
  if (cancel_) Pq().PQfreeCancel(cancel_);
  cancel_ = nullptr;
  if (conn_) Pq().PQfinish(conn_);
  conn_ = nullptr;
  tables_.clear();
}

void PostgresqlBackend::DropIfBroken() {
  if (conn_ && Pq().PQstatus(conn_) == CONNECTION_BAD) Disconnect();
}

bool PostgresqlBackend::InTransaction() const {
  if (!conn_) return false;
  const PGTransactionStatusType t = Pq().PQtransactionStatus(conn_);
  return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
}

bool PostgresqlBackend::TransactionDoomed() const {
  return conn_ && Pq().PQtransactionStatus(conn_) == PQTRANS_INERROR;
}

PostgresqlBackend::Wait PostgresqlBackend::WaitSocket(bool forWrite, Clock::time_point deadline,
                                                      const JobControl* control) {
  const int fd = Pq().PQsocket(conn_);
  if (fd < 0) return Wait::Failed;
  while (true) {
    if (control && control->Cancelled()) return Wait::Cancelled;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return Wait::TimedOut;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    const int slice = static_cast<int>(std::max<std::int64_t>(1, std::min<std::int64_t>(kSlice.count(), left.count())));
    pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int n = ::poll(&p, 1, slice);
    if (n > 0) return Wait::Ready;  // readable, writable, or an error libpq will report
    if (n < 0 && errno != EINTR) return Wait::Failed;
  }
}

void PostgresqlBackend::OnNotice(void* self, const PGresult* result) {
  auto* backend = static_cast<PostgresqlBackend*>(self);
  if (backend->noticeTarget_) backend->noticeTarget_->status.warnings.push_back(PgNoticeRecord(result));
}

}  // namespace tarnel::adodb::provider
