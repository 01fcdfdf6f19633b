// Finding the provider a connection string names and creating its session:
// the table of installed providers (SQLite, the embedded default, and
// PostgreSQL), their accepted names, and the checks that fail at once,
// before any thread starts.
#include "platform/adodb/provider/postgresql/postgresql_backend.h"
#include "platform/adodb/provider/provider.h"
#include "platform/adodb/provider/sqlite/sqlite_backend.h"

namespace tarnel::adodb::provider {

namespace {

using BackendFactory = std::unique_ptr<Backend> (*)(const ConnectionString&, const ConnectOptions&, Status*);

struct ProviderEntry {
  const char* name;
  std::initializer_list<std::string_view> names;
  BackendFactory create;
};

const ProviderEntry kProviders[] = {
    {"SQLite", {"SQLite", "SQLite3"}, &CreateSqliteBackend},
    {"PostgreSQL", {"PostgreSQL", "Postgres", "PgSQL"}, &CreatePostgresqlBackend},
};

// "Name" or "Name.N" (a version suffix, as in "SQLOLEDB.1").
bool NameMatches(std::string_view wanted, std::string_view name) {
  while (!wanted.empty() && wanted.back() == ' ') wanted.remove_suffix(1);
  if (EqualsAsciiNoCase(wanted, name)) return true;
  if (wanted.size() <= name.size() + 1 || wanted[name.size()] != '.') return false;
  if (!EqualsAsciiNoCase(wanted.substr(0, name.size()), name)) return false;
  for (char c : wanted.substr(name.size() + 1)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

const ProviderEntry* FindProvider(std::string_view wanted) {
  for (const ProviderEntry& p : kProviders) {
    for (std::string_view n : p.names) {
      if (NameMatches(wanted, n)) return &p;
    }
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<Session> CreateSession(const ConnectOptions& options, Status* status) {
  Status local;
  Status& out = status ? *status : local;
  ConnectionStringError parseError;
  std::optional<ConnectionString> parsed = ConnectionString::Parse(options.connectionString, &parseError);
  if (!parsed) {
    out = Status::Ado(kAdoInvalidArgument, "The connection string is malformed: " + parseError.message +
                                               " (at character " + std::to_string(parseError.position + 1) + ").");
    return nullptr;
  }
  const std::string* providerName = parsed->Find("Provider");
  const ProviderEntry* provider = FindProvider(providerName ? *providerName : std::string_view("SQLite"));
  if (!provider) {
    out = Status::Ado(kAdoProviderNotFound, "Provider cannot be found. It may not be properly installed.");
    return nullptr;
  }
  std::unique_ptr<Backend> backend = provider->create(*parsed, options, &out);
  if (!backend) return nullptr;
  auto session = std::make_unique<Session>(provider->name, std::move(backend), options.commandTimeout,
                                           options.threadStarter);
  out = session->Start();
  if (!out.ok()) return nullptr;
  return session;
}

}  // namespace tarnel::adodb::provider
