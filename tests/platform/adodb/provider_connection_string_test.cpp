// The ADO-style connection-string parser and the provider lookup: quoting,
// escaping, keyword folding, last-wins duplicates, the errors for malformed
// strings, and the numbers raised for unknown providers.
#include <gtest/gtest.h>

#include "platform/adodb/provider/connection_string.h"
#include "platform/adodb/provider/provider.h"

namespace tarnel::adodb::provider {
namespace {

ConnectionString ParseOk(std::string_view text) {
  ConnectionStringError error;
  std::optional<ConnectionString> cs = ConnectionString::Parse(text, &error);
  EXPECT_TRUE(cs) << text << ": " << error.message;
  return cs ? *cs : ConnectionString();
}

std::string ValueOf(const ConnectionString& cs, std::string_view key) {
  const std::string* v = cs.Find(key);
  return v ? *v : "<absent>";
}

TEST(ConnectionStringParse, KeywordsAreCaseInsensitiveAndBlanksTrimmed) {
  const ConnectionString cs = ParseOk("  provider = PostgreSQL ;; Data Source= db host ;UID=me;");
  EXPECT_EQ(ValueOf(cs, "PROVIDER"), "PostgreSQL");
  EXPECT_EQ(ValueOf(cs, "data source"), "db host");
  EXPECT_EQ(ValueOf(cs, "uid"), "me");
  EXPECT_EQ(ValueOf(cs, "DataSource"), "<absent>");  // blanks inside a keyword count
  EXPECT_EQ(cs.Entries().size(), 3u);
}

TEST(ConnectionStringParse, QuotedValuesKeepSemicolonsAndBlanks) {
  const ConnectionString cs =
      ParseOk("Password='a;b''c';User ID=\" spaced \" ;Extended Properties=\"say \"\"hi\"\"\";Driver={SQL Server};"
              "Odd={a}}b}");
  EXPECT_EQ(ValueOf(cs, "Password"), "a;b'c");
  EXPECT_EQ(ValueOf(cs, "User ID"), " spaced ");
  EXPECT_EQ(ValueOf(cs, "Extended Properties"), "say \"hi\"");
  EXPECT_EQ(ValueOf(cs, "Driver"), "SQL Server");
  EXPECT_EQ(ValueOf(cs, "Odd"), "a}b");
}

TEST(ConnectionStringParse, DoubledEqualsBelongsToTheKeywordAndLastDuplicateWins) {
  const ConnectionString cs = ParseOk("a==b=1;Port=1;port=2;Empty=;x=y=z");
  EXPECT_EQ(ValueOf(cs, "a=b"), "1");
  EXPECT_EQ(ValueOf(cs, "PORT"), "2");
  ASSERT_EQ(cs.Entries().size(), 4u);
  EXPECT_EQ(cs.Entries()[1].keyword, "Port");  // the first spelling is kept
  EXPECT_EQ(cs.Entries()[1].value, "2");
  EXPECT_EQ(ValueOf(cs, "Empty"), "");
  EXPECT_EQ(ValueOf(cs, "x"), "y=z");
  const ConnectionString syn = ParseOk("Server=a;Data Source=b");
  EXPECT_EQ(*syn.FindAny({"Server", "Data Source"}), "b");
  EXPECT_EQ(*syn.FindAny({"Data Source", "Server"}), "b");
  EXPECT_EQ(syn.FindAny({"Host"}), nullptr);
}

TEST(ConnectionStringParse, MalformedStringsSayWhereAndWhy) {
  struct Case {
    const char* text;
    const char* fragment;
    std::size_t position;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source", "'Data Source' has no value", 16},
      {"Password='abc;User=x", "no closing '", 9},
      {"Password=\"abc\" junk;x=1", "after the quoted value", 15},
      {"=value", "no keyword", 0},
      {"Driver={abc", "no closing }", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ConnectionStringError error;
    EXPECT_FALSE(ConnectionString::Parse(c.text, &error));
    EXPECT_NE(error.message.find(c.fragment), std::string::npos) << error.message;
    EXPECT_EQ(error.position, c.position);
  }
}

TEST(ConnectionStringParse, WritingQuotesWhatNeedsItAndReadsBackTheSame) {
  ConnectionString cs;
  cs.Set("Provider", "SQLite");
  cs.Set("Password", "a;b");
  cs.Set("Quote", "say \"x\"");
  cs.Set("Both", "it's \"x\"");
  cs.Set("Pad", " p ");
  cs.Set("k=1", "v");
  const std::string text = cs.ToString();
  EXPECT_EQ(text.substr(0, 16), "Provider=SQLite;");
  const ConnectionString back = ParseOk(text);
  ASSERT_EQ(back.Entries().size(), cs.Entries().size());
  for (std::size_t i = 0; i < cs.Entries().size(); ++i) {
    EXPECT_EQ(back.Entries()[i].keyword, cs.Entries()[i].keyword);
    EXPECT_EQ(back.Entries()[i].value, cs.Entries()[i].value);
  }
  cs.Remove("PASSWORD");
  EXPECT_EQ(cs.Find("Password"), nullptr);
}

TEST(ProviderLookup, UnknownProviderAndMalformedStringsFailAtOnce) {
  ConnectOptions o;
  Status status;
  o.connectionString = "Provider=NoSuchEngine;Data Source=x";
  EXPECT_FALSE(CreateSession(o, &status));
  EXPECT_EQ(status.number, ControlError(3706));
  EXPECT_EQ(status.description, "Provider cannot be found. It may not be properly installed.");
  EXPECT_TRUE(status.errors.empty());
  o.connectionString = "Provider=SQLite.x";
  EXPECT_FALSE(CreateSession(o, &status));
  EXPECT_EQ(status.number, ControlError(3706));
  o.connectionString = "Provider=SQLite;Password='open";
  EXPECT_FALSE(CreateSession(o, &status));
  EXPECT_EQ(status.number, ControlError(3001));
  EXPECT_NE(status.description.find("malformed"), std::string::npos);
  o.connectionString = "Provider=postgres.2;Port=seventy";
  EXPECT_FALSE(CreateSession(o, &status));
  EXPECT_EQ(status.number, ControlError(3001));
  o.connectionString = "Provider=PostgreSQL;Host=h;Initial Catalog=d;UID=u;PWD=p;Connect Timeout=x";
  EXPECT_FALSE(CreateSession(o, &status));
  EXPECT_NE(status.description.find("time-out"), std::string::npos);
  o.connectionString = "PROVIDER=pgsql;Host=h;Initial Catalog=d;UID=u;PWD=p";
  std::unique_ptr<Session> pg = CreateSession(o, &status);
  ASSERT_TRUE(pg);
  EXPECT_EQ(pg->ProviderName(), "PostgreSQL");
  EXPECT_FALSE(pg->Connected());
}

TEST(ProviderLookup, AWorkerThatCannotStartFailsCreation) {
  ConnectOptions o;
  o.connectionString = "Provider=SQLite;Data Source=:memory:";
  o.threadStarter = [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  Status status;
  EXPECT_FALSE(CreateSession(o, &status));
  EXPECT_EQ(status.number, E_FAIL);
  ASSERT_EQ(status.errors.size(), 1u);
  EXPECT_NE(status.description.find("worker thread could not be started"), std::string::npos);
}

}  // namespace
}  // namespace tarnel::adodb::provider
