// Locales: names as the environment spells them, the stock settings of the
// known locales, how the environment variables combine, and that the user's
// locale is the one the process environment names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/automation/locale.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {
namespace {

// Sets locale variables for one test and restores the previous values.
class Environment {
 public:
  Environment() {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
      unsetenv(name);
    }
  }
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }
  void Set(const char* name, const char* value) { setenv(name, value, 1); }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_NUMERIC", "LC_TIME", "LANG"};
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LocaleNames, EnvironmentSpellingsAndFallback) {
  EXPECT_EQ(Locale::Named("de_DE.UTF-8").name, "de-DE");
  EXPECT_EQ(Locale::Named("de-de").name, "de-DE");
  EXPECT_EQ(Locale::Named("fr_FR@euro").name, "fr-FR");
  EXPECT_EQ(Locale::Named("C").name, "en-US");
  EXPECT_EQ(Locale::Named("POSIX").name, "en-US");
  EXPECT_EQ(Locale::Named("C.UTF-8").name, "en-US");
  EXPECT_EQ(Locale::Named("xx_YY").name, "en-US");
  EXPECT_EQ(Locale::Named("").name, "en-US");
}

TEST(LocaleNames, StockSettings) {
  Locale de = Locale::Named("de_DE");
  EXPECT_EQ(de.decimalSeparator, u',');
  EXPECT_EQ(de.shortDate, u"dd.MM.yyyy");
  EXPECT_EQ(de.timeFormat, u"HH:mm:ss");
  EXPECT_EQ(de.trueWord, u"Wahr");
  EXPECT_EQ(de.falseWord, u"Falsch");
  Locale us = Locale::Named("en_US");
  EXPECT_EQ(us.decimalSeparator, u'.');
  EXPECT_EQ(us.shortDate, u"M/d/yyyy");
  EXPECT_EQ(us.timeFormat, u"h:mm:ss tt");
  EXPECT_EQ(Locale::Named("de_CH").decimalSeparator, u'.');
  EXPECT_EQ(TextOf(Variant::FromDate(45000.5), Locale::Named("en_GB")), u"15/03/2023 12:00:00");
  EXPECT_EQ(TextOf(Variant::FromDate(45000.25), Locale::Named("nl_NL")), u"15-3-2023 06:00:00");
}

TEST(LocaleEnvironment, AllThenCategoriesThenLang) {
  Environment env;
  EXPECT_EQ(Locale::FromEnvironment().name, "en-US");
  env.Set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(Locale::FromEnvironment().name, "de-DE");
  EXPECT_EQ(Locale::FromEnvironment().decimalSeparator, u',');
  env.Set("LC_NUMERIC", "en_US.UTF-8");
  Locale mixed = Locale::FromEnvironment();
  EXPECT_EQ(mixed.decimalSeparator, u'.');
  EXPECT_EQ(mixed.shortDate, u"dd.MM.yyyy");
  EXPECT_EQ(mixed.trueWord, u"Wahr");
  env.Set("LC_TIME", "en_US");
  EXPECT_EQ(Locale::FromEnvironment().shortDate, u"M/d/yyyy");
  env.Set("LC_ALL", "fr_FR.UTF-8");
  Locale all = Locale::FromEnvironment();
  EXPECT_EQ(all.name, "fr-FR");
  EXPECT_EQ(all.decimalSeparator, u',');
  EXPECT_EQ(all.shortDate, u"dd/MM/yyyy");
  env.Set("LC_ALL", "");  // set but empty counts as unset
  EXPECT_EQ(Locale::FromEnvironment().decimalSeparator, u'.');
}

// Locale::User() is computed once per process, so it is checked in a fresh
// process (the "threadsafe" death-test style re-runs this test binary with
// only this test) whose environment names de-DE before the first use.
TEST(LocaleEnvironment, UserLocaleFollowsTheProcessEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("LC_ALL", "de_DE.UTF-8", 1);
        bool german = Locale::User().name == "de-DE" && TextOf(Variant(1.5)) == u"1,5" &&
                      TextOf(Variant(true)) == u"Wahr" && ToDouble(Variant(u"2,5")) == 2.5;
        std::exit(german ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        setenv("LC_ALL", "en_US.UTF-8", 1);
        std::exit(TextOf(Variant::FromDate(45000.5)) == u"3/15/2023 12:00:00 PM" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarnel
