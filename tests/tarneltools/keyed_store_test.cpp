// The keyed store: Collection semantics (order, positions, case-insensitive
// unique keys, references vs copies, error numbers) and the bookkeeping that
// keeps positions right through removals, moves and compaction.
#include "tarneltools/collection/keyed_store.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/automation/com_error.h"

namespace tarnel {
namespace {

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.Number();
  }
  return 0;
}

UString Key(int i) { return u"k" + DecimalText(i); }

TEST(KeyedStore, KeepsOrderOfAdditionAndCountsPositionsFromOne) {
  KeyedStore s;
  s.Add(u"a", Variant(1));
  s.Add(u"b", Variant(u"two"));
  s.Add(u"c", Variant(3.5));
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.Item(Variant(1)).lVal(), 1);
  EXPECT_EQ(s.Item(Variant(2)).bstrVal(), u"two");
  EXPECT_EQ(s.Item(Variant(u"C")).dblVal(), 3.5);
  // A numeric string is a key, not a position.
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant(u"2")); }), 5);
}

TEST(KeyedStore, RejectsKeysThatDifferOnlyInCaseAndChangesNothing) {
  KeyedStore s;
  s.Add(u"Name", Variant(1));
  EXPECT_EQ(ErrorOf([&] { s.Add(u"NAME", Variant(2)); }), 457);
  EXPECT_EQ(s.Count(), 1);
  EXPECT_EQ(s.Item(Variant(u"name")).lVal(), 1);
  EXPECT_EQ(ErrorOf([&] { s.Add(u"Name ", Variant(2)); }), 0);  // blanks count
}

TEST(KeyedStore, ReportsMissingKeysAndPositionsWithTheCollectionsNumbers) {
  KeyedStore s;
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant(1)); }), 9);
  s.Add(u"x", Variant(1));
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant(0)); }), 9);
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant(-1)); }), 9);
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant(2)); }), 9);
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant(u"y")); }), 5);
  EXPECT_EQ(ErrorOf([&] { s.Remove(Variant(u"y")); }), 5);
  EXPECT_EQ(ErrorOf([&] { s.Item(Variant::Null()); }), 13);
  EXPECT_FALSE(s.Exists(Variant(2)));
  EXPECT_TRUE(s.Exists(Variant(u"X")));
}

TEST(KeyedStore, StoresCopiesOfValues) {
  KeyedStore s;
  Variant v(u"original");
  s.Add(u"k", v);
  v.bstrVal() = u"changed";
  EXPECT_EQ(s.Item(Variant(u"k")).bstrVal(), u"original");
  // A by-reference argument is stored as the value it points at.
  Variant target(7);
  s.Add(u"r", Variant::Ref(&target));
  target = Variant(8);
  EXPECT_EQ(s.Item(Variant(u"r")).lVal(), 7);
}

TEST(KeyedStore, AppendMovesTheItemToTheEndAndGrowsItsText) {
  KeyedStore s;
  s.Add(u"first", Variant(u"ab"));
  s.Add(u"second", Variant(2));
  s.AppendText(u"FIRST", u"cd");
  EXPECT_EQ(s.Item(Variant(2)).bstrVal(), u"abcd");
  EXPECT_EQ(s.Item(Variant(1)).lVal(), 2);
  // A number becomes its text followed by the piece.
  s.AppendText(u"second", u"x");
  EXPECT_EQ(s.Item(Variant(2)).bstrVal(), u"2x");
  EXPECT_EQ(s.TextOf(u"first"), u"abcd");
}

TEST(KeyedStore, FailedAppendLeavesTheStoreAsItWas) {
  KeyedStore s;
  s.Add(u"n", Variant::Null());
  s.Add(u"t", Variant(u"x"));
  EXPECT_EQ(ErrorOf([&] { s.AppendText(u"n", u"y"); }), 94);
  EXPECT_EQ(ErrorOf([&] { s.AppendText(u"missing", u"y"); }), 5);
  EXPECT_EQ(s.Count(), 2);
  EXPECT_TRUE(s.Item(Variant(1)).IsNull());
  EXPECT_EQ(s.Item(Variant(2)).bstrVal(), u"x");
}

// Positions stay right through any mix of adds, removals, appends and
// lookups: checked against a plain vector model.
TEST(KeyedStore, PositionsMatchAPlainModelThroughRandomChanges) {
  KeyedStore s;
  std::vector<int> model;  // keys in order
  std::mt19937 rng(42);
  int next = 0;
  for (int step = 0; step < 20000; ++step) {
    int op = static_cast<int>(rng() % 10);
    if (op < 4 || model.empty()) {
      s.Add(Key(next), Variant(next));
      model.push_back(next++);
    } else if (op < 6) {
      std::size_t i = rng() % model.size();
      s.Remove(Variant(Key(model[i])));
      model.erase(model.begin() + static_cast<long>(i));
    } else if (op < 8) {
      std::size_t i = rng() % model.size();
      s.AppendText(Key(model[i]), u"+");
      int k = model[i];
      model.erase(model.begin() + static_cast<long>(i));
      model.push_back(k);
    } else {
      std::size_t i = rng() % model.size();
      const Variant& v = s.Item(Variant(static_cast<std::int32_t>(i + 1)));
      int expected = model[i];
      if (v.vt() == VT_I4) {
        ASSERT_EQ(v.lVal(), expected) << "step " << step;
      } else {
        UString text = v.bstrVal();
        ASSERT_EQ(text.substr(0, text.find(u'+')), DecimalText(expected)) << "step " << step;
      }
    }
    ASSERT_EQ(s.Count(), static_cast<std::int32_t>(model.size()));
  }
}

}  // namespace
}  // namespace tarnel
