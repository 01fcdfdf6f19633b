// The ADO control's keyed-store members, called through its dispatch
// interface as a container calls them: results, diagnostic lines, which
// members let the store's errors through and which catch them.
#include <errno.h>
#include <gtest/gtest.h>

#include "platform/automation/com_error.h"
#include "tarneltools/control/ado_control.h"
#include "test_objects.h"

namespace tarnel {
namespace {

class CollectionMembers : public ::testing::Test {
 protected:
  void SetUp() override {
    ado_ = AdoControl::Create();
    CallByName(ado_->AsDispatch(), u"DebugMode", DISPATCH_PROPERTYPUT, {Variant(1)});
    first_ = capture_.Lines().size();
  }
  Variant Call(const char16_t* name, std::vector<Variant> args = {}) {
    return CallByName(ado_->AsDispatch(), name, DISPATCH_METHOD, std::move(args));
  }
  int ErrorOf(const char16_t* name, std::vector<Variant> args) {
    try {
      Call(name, std::move(args));
    } catch (const ComError& e) {
      return e.Number();
    }
    return 0;
  }
  // The lines written since the test began, without the file-name prefix.
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    std::string prefix = std::string(program_invocation_short_name) + ".ocx ";
    auto all = capture_.Lines();
    for (std::size_t i = first_; i < all.size(); ++i) out.push_back(all[i].substr(prefix.size()));
    return out;
  }
  std::int32_t Count() { return CallByName(ado_->AsDispatch(), u"CollectionCount", DISPATCH_PROPERTYGET).lVal(); }

  DebugCapture capture_;
  ComPtr<AdoControl> ado_;
  std::size_t first_ = 0;
};

TEST_F(CollectionMembers, AddWritesTheValueAndTheNewCount) {
  EXPECT_TRUE(Call(u"CollectionAdd", {Variant(u"a"), Variant(5)}).IsEmpty());
  Call(u"CollectionAdd", {Variant(u"b"), Variant(u"text")});
  EXPECT_EQ(Lines(), (std::vector<std::string>{"CollectionAdd(a, 5 [Long])", "CollectionCount = 1",
                                               "CollectionAdd(b, text [String])", "CollectionCount = 2"}));
}

TEST_F(CollectionMembers, DuplicateKeyIsLoggedAndSwallowed) {
  Call(u"CollectionAdd", {Variant(u"Key"), Variant(1)});
  EXPECT_TRUE(Call(u"CollectionAdd", {Variant(u"KEY"), Variant(2)}).IsEmpty());
  EXPECT_EQ(Count(), 1);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "CollectionAdd(KEY, [Long]) Error: This key is already associated with an element of this collection");
  EXPECT_EQ(lines[3], "CollectionAdd() CollectionCount = 1");
}

TEST_F(CollectionMembers, GetItemByPositionFollowsAppendsToTheEnd) {
  Call(u"CollectionAdd", {Variant(u"first"), Variant(u"a")});
  Call(u"CollectionAdd", {Variant(u"second"), Variant(2)});
  EXPECT_EQ(Call(u"CollectionGetItem", {Variant(2)}).lVal(), 2);
  Call(u"CollectionStringAppend", {Variant(u"first"), Variant(u"bc")});
  EXPECT_EQ(Call(u"CollectionGetItem", {Variant(2)}).bstrVal(), u"abc");
  EXPECT_EQ(Call(u"CollectionGetItem", {Variant(1)}).lVal(), 2);
  auto lines = Lines();
  EXPECT_EQ(lines[4], "CollectionGet[Variable]Item(2 [Long]) = 2 [Long]");
  EXPECT_EQ(lines[5], "CollectionStringAppend(first, bc)");
}

TEST_F(CollectionMembers, MissingItemsAreLoggedAndGiveEmptyOrFalse) {
  EXPECT_TRUE(Call(u"CollectionGetItem", {Variant(u"none")}).IsEmpty());
  EXPECT_TRUE(Call(u"CollectionGetItem", {Variant(0)}).IsEmpty());
  EXPECT_EQ(Call(u"CollectionItemExists", {Variant(u"none")}).boolVal(), VARIANT_FALSE);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"CollectionGetItem(none) Error: Invalid procedure call or argument",
                                               "CollectionGetItem(0) Error: Subscript out of range"}));
  Call(u"CollectionAdd", {Variant(u"here"), Variant(1)});
  EXPECT_EQ(Call(u"CollectionItemExists", {Variant(u"HERE")}).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(Lines().back(), "CollectionItemExists(HERE) = True");
}

TEST_F(CollectionMembers, ObjectsAreStoredByReference) {
  ComPtr<TestObject> object = TestObject::Make();
  Call(u"CollectionAdd", {Variant(u"obj"), Variant(object->AsDispatch())});
  Variant back = Call(u"CollectionGetItem", {Variant(u"obj")});
  ASSERT_EQ(back.vt(), VT_DISPATCH);
  EXPECT_EQ(back.pdispVal(), object->AsDispatch());
  EXPECT_EQ(Lines()[0], "CollectionAdd(obj, [TestObject])");
  EXPECT_EQ(Lines()[2], "CollectionGet[Object]Item(obj [String]) = [TestObject]");
  // Joining an object with text fails before the store changes.
  EXPECT_NE(ErrorOf(u"CollectionStringAppend", {Variant(u"obj"), Variant(u"x")}), 0);
  EXPECT_EQ(Call(u"CollectionGetItem", {Variant(1)}).pdispVal(), object->AsDispatch());
}

TEST_F(CollectionMembers, RemoveAndTheTextMembersLetErrorsThrough) {
  EXPECT_EQ(ErrorOf(u"CollectionRemove", {Variant(u"none")}), 5);
  EXPECT_EQ(ErrorOf(u"CollectionStringAppend", {Variant(u"none"), Variant(u"x")}), 5);
  EXPECT_EQ(ErrorOf(u"CollectionStringLength", {Variant(u"none")}), 5);
  EXPECT_EQ(ErrorOf(u"CollectionStringMid", {Variant(u"none"), Variant(1), Variant(1)}), 5);
  EXPECT_TRUE(Lines().empty());
  Call(u"CollectionAdd", {Variant(u"x"), Variant(1)});
  Call(u"CollectionRemove", {Variant(u"X")});
  EXPECT_EQ(Count(), 0);
  auto lines = Lines();
  EXPECT_EQ(lines[2], "CollectionRemove(X)");
  EXPECT_EQ(lines[3], "CollectionRemove() CollectionCount = 0");
}

TEST_F(CollectionMembers, StringMidReadsPiecesLikeMid) {
  Call(u"CollectionAdd", {Variant(u"t"), Variant(u"abcdef")});
  EXPECT_EQ(Call(u"CollectionStringLength", {Variant(u"t")}).lVal(), 6);
  EXPECT_EQ(Call(u"CollectionStringMid", {Variant(u"t"), Variant(2), Variant(3)}).bstrVal(), u"bcd");
  EXPECT_EQ(Call(u"CollectionStringMid", {Variant(u"t"), Variant(5), Variant(10)}).bstrVal(), u"ef");
  EXPECT_EQ(Call(u"CollectionStringMid", {Variant(u"t"), Variant(7), Variant(1)}).bstrVal(), u"");
  EXPECT_EQ(Call(u"CollectionStringMid", {Variant(u"t"), Variant(3), Variant(0)}).bstrVal(), u"");
  // An omitted length reads the rest; an omitted start begins at 1.
  EXPECT_EQ(Call(u"CollectionStringMid", {Variant(u"t"), Variant(4)}).bstrVal(), u"def");
  EXPECT_EQ(Call(u"CollectionStringMid", {Variant(u"t")}).bstrVal(), u"abcdef");
  EXPECT_EQ(ErrorOf(u"CollectionStringMid", {Variant(u"t"), Variant(0), Variant(1)}), 5);
  EXPECT_EQ(ErrorOf(u"CollectionStringMid", {Variant(u"t"), Variant(1), Variant(-1)}), 5);
  auto lines = Lines();
  EXPECT_EQ(lines[2], "CollectionStringLength(t) = 6");
  EXPECT_EQ(lines[3], "CollectionStringMid(t, 2, 3) = bcd");
  EXPECT_EQ(lines[7], "CollectionStringMid(t, 4, ) = def");
}

TEST_F(CollectionMembers, LongTextsBuiltInPiecesReadBackWhole) {
  Call(u"CollectionAdd", {Variant(u"sql"), Variant(u"")});
  UString piece(255, u'q');
  for (int i = 0; i < 100; ++i) Call(u"CollectionStringAppend", {Variant(u"sql"), Variant(piece)});
  EXPECT_EQ(Call(u"CollectionStringLength", {Variant(u"sql")}).lVal(), 25500);
  UString whole;
  for (std::int32_t start = 1;; start += 255) {
    UString got = Call(u"CollectionStringMid", {Variant(u"sql"), Variant(start), Variant(255)}).bstrVal();
    whole += got;
    if (got.size() < 255) break;
  }
  EXPECT_EQ(whole, UString(25500, u'q'));
}

TEST_F(CollectionMembers, ValuesWithoutTextFormStillLandButLogAnError) {
  Call(u"CollectionAdd", {Variant(u"n"), Variant::Null()});
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Lines()[0], "CollectionAdd(n, [Null]) Error: Invalid use of Null");
  EXPECT_EQ(Lines()[1], "CollectionAdd() CollectionCount = 1");
}

TEST_F(CollectionMembers, KeysOfMegabytesAndArraysWork) {
  UString key(2 * 1024 * 1024, u'k');
  key.back() = u'Z';
  Call(u"CollectionAdd", {Variant(key), Variant(1)});
  UString other = key;
  other.back() = u'z';  // the same key in another case
  EXPECT_EQ(Call(u"CollectionGetItem", {Variant(other)}).lVal(), 1);
  Call(u"CollectionAdd", {Variant(other), Variant(2)});
  EXPECT_EQ(Count(), 1);
  // An array has no text form: it is stored, and the line reports the error.
  Variant array = Variant::Array(SafeArray::Vector(VT_VARIANT, {Variant(1), Variant(2)}));
  Call(u"CollectionAdd", {Variant(u"arr"), array});
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(Lines().back(), "CollectionAdd() CollectionCount = 2");
  EXPECT_EQ(Lines()[Lines().size() - 2], "CollectionAdd(arr, [Variant()]) Error: Type mismatch");
  EXPECT_EQ(ErrorOf(u"CollectionStringAppend", {Variant(u"arr"), Variant(u"x")}), 13);
  EXPECT_EQ(Count(), 2);
}

}  // namespace
}  // namespace tarnel
