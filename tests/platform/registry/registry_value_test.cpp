// Tests of typed registry values: the byte layouts the registry keeps and
// the typed accessors, including data of the wrong type or size.
#include <gtest/gtest.h>

#include "platform/registry/registry_error.h"
#include "platform/registry/registry_value.h"

namespace tarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;

RegErrorCode CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RegistryError& e) {
    return e.code();
  }
  ADD_FAILURE() << "no RegistryError thrown";
  return RegErrorCode::kFileNotFound;
}

TEST(RegValueTest, StringIsUtf16LittleEndianWithTerminator) {
  RegValue v = RegValue::String(u"A\u00e9\u20ac");
  EXPECT_EQ(v.type, REG_SZ);
  EXPECT_EQ(v.data, (Bytes{0x41, 0x00, 0xe9, 0x00, 0xac, 0x20, 0x00, 0x00}));
  EXPECT_EQ(v.AsString(), u"A\u00e9\u20ac");

  RegValue expand = RegValue::String(u"%TEMP%", REG_EXPAND_SZ);
  EXPECT_EQ(expand.type, REG_EXPAND_SZ);
  EXPECT_EQ(expand.AsString(), u"%TEMP%");  // not expanded

  RegValue empty = RegValue::String(u"");
  EXPECT_EQ(empty.data, (Bytes{0, 0}));
  EXPECT_EQ(empty.AsString(), u"");
}

TEST(RegValueTest, StringReadsUpToFirstNulOrEndOfData) {
  RegValue embedded{REG_SZ, {'f', 0, 'o', 0, 0, 0, 'x', 0, 0, 0}};
  EXPECT_EQ(embedded.AsString(), u"fo");
  RegValue unterminated{REG_SZ, {'a', 0, 'b', 0, 'c'}};  // odd last byte ignored
  EXPECT_EQ(unterminated.AsString(), u"ab");
}

TEST(RegValueTest, NumbersAreLittleEndian) {
  RegValue d = RegValue::Dword(0x12345678u);
  EXPECT_EQ(d.type, REG_DWORD);
  EXPECT_EQ(d.data, (Bytes{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(d.AsDword(), 0x12345678u);
  EXPECT_EQ(RegValue::Dword(0xFFFFFFFFu).AsDword(), 0xFFFFFFFFu);
  EXPECT_EQ(d.AsQword(), 0x12345678u);

  RegValue q = RegValue::Qword(0x0102030405060708ull);
  EXPECT_EQ(q.type, REG_QWORD);
  EXPECT_EQ(q.data, (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(q.AsQword(), 0x0102030405060708ull);

  RegValue big{REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}};
  EXPECT_EQ(big.AsDword(), 0x12345678u);
}

TEST(RegValueTest, AccessorsRejectWrongTypeAndSize) {
  EXPECT_EQ(CodeOf([] { (void)RegValue::Dword(1).AsString(); }), RegErrorCode::kUnsupportedType);
  EXPECT_EQ(CodeOf([] { (void)RegValue::String(u"1").AsDword(); }), RegErrorCode::kUnsupportedType);
  EXPECT_EQ(CodeOf([] { (void)RegValue::String(u"1").AsMultiString(); }), RegErrorCode::kUnsupportedType);
  EXPECT_EQ(CodeOf([] { (void)RegValue::Binary(Bytes{1, 2, 3, 4}).AsQword(); }), RegErrorCode::kUnsupportedType);
  EXPECT_EQ(CodeOf([] { (void)RegValue::Binary(Bytes{1, 2, 3}, REG_DWORD).AsDword(); }), RegErrorCode::kInvalidData);
  EXPECT_EQ(CodeOf([] { (void)RegValue::Binary(Bytes{1, 2, 3, 4}, REG_QWORD).AsQword(); }),
            RegErrorCode::kInvalidData);
}

TEST(RegValueTest, MultiStringLayoutAndReading) {
  RegValue m = RegValue::MultiString({u"a", u"bc"});
  EXPECT_EQ(m.type, REG_MULTI_SZ);
  EXPECT_EQ(m.data, (Bytes{'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.AsMultiString(), (std::vector<UString>{u"a", u"bc"}));

  RegValue none = RegValue::MultiString({});
  EXPECT_EQ(none.data, (Bytes{0, 0}));
  EXPECT_TRUE(none.AsMultiString().empty());

  // An empty string ends the list; data without the final NULs still reads.
  RegValue early{REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0, 'b', 0, 0, 0, 0, 0}};
  EXPECT_EQ(early.AsMultiString(), std::vector<UString>{u"a"});
  RegValue loose{REG_MULTI_SZ, {'x', 0, 0, 0, 'y', 0}};
  EXPECT_EQ(loose.AsMultiString(), (std::vector<UString>{u"x", u"y"}));

  EXPECT_EQ(CodeOf([] { (void)RegValue::MultiString({u"a", u"", u"b"}); }), RegErrorCode::kInvalidParameter);
}

}  // namespace
}  // namespace tarnel
