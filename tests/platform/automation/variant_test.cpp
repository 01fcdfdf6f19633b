// Variant's copy, move and clear: every type keeps its whole value through
// copies and moves (a Decimal all sixteen bytes), a value assigned from
// inside what the target owns stays valid, strings stay independent while
// their storage is recycled, also across threads; and InlineVariants builds
// and destroys exactly what was placed in it.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/variant.h"

namespace tarnel {
namespace {

// Counts its live instances, to see references taken and given back.
class Probe final : public DispatchObject<Probe> {
 public:
  static const TypeInfo& Type() {
    static const TypeInfo type(u"_Probe", MakeGuid("5A1B2C3D-0000-4000-8000-0000000000A1"), TypeKind::Dispatch, {});
    return type;
  }
  static const CoClassInfo* Class() { return nullptr; }
  Probe() { ++live; }
  ~Probe() override { --live; }
  static inline int live = 0;
};

TEST(VariantValues, CopiesAndMovesKeepEveryTypesValue) {
  const Decimal dec{4, 0x80, 0x12345678u, 0x9ABCDEF012345678ull};
  std::vector<Variant> values{Variant(-7), Variant(2.5), Variant(true), Variant::I2(-3), Variant::UI1(200),
                              Variant::I8(-(std::int64_t{1} << 40)), Variant::R4(1.25f), Variant::Cy(Currency{-15000}),
                              Variant::Dec(dec), Variant::Error(DISP_E_TYPEMISMATCH), Variant::Null(),
                              Variant(u"text")};
  for (const Variant& original : values) {
    Variant copy(original);
    Variant assigned;
    assigned = original;
    Variant source(original);
    Variant moved(std::move(source));
    Variant moveAssigned(7);
    moveAssigned = Variant(original);
    for (Variant* v : {&copy, &assigned, &moved, &moveAssigned}) {
      ASSERT_EQ(v->vt(), original.vt());
      if (original.vt() == VT_BSTR) {
        EXPECT_EQ(v->bstrVal(), u"text");
      } else if (original.vt() == VT_DECIMAL) {
        const Decimal& d = v->decVal();
        EXPECT_EQ(d.scale, dec.scale);
        EXPECT_EQ(d.sign, dec.sign);
        EXPECT_EQ(d.hi32, dec.hi32);
        EXPECT_EQ(d.lo64, dec.lo64);
      } else {
        EXPECT_EQ(v->llVal(), original.llVal()) << "type " << original.vt();
      }
    }
  }
  // A Decimal replaced by a smaller type leaves nothing of itself behind.
  Variant v = Variant::Dec(dec);
  v = Variant(1);
  EXPECT_EQ(v.vt(), VT_I4);
  EXPECT_EQ(v.llVal(), 1);
  v = Variant::Dec(dec);
  v.SetI4(-1);
  EXPECT_EQ(v.llVal(), 0xFFFFFFFFll);
}

TEST(VariantValues, MovedFromValuesAreEmptyAndCopiesAreIndependent) {
  Variant text(u"a longer text that does not fit in place");
  Variant copy = text;
  copy.bstrVal() += u"!";
  EXPECT_EQ(text.bstrVal(), u"a longer text that does not fit in place");
  Variant moved = std::move(text);
  EXPECT_TRUE(text.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from Variant is Empty
  EXPECT_EQ(moved.bstrVal(), u"a longer text that does not fit in place");
  moved = std::move(moved);  // self-move changes nothing
  EXPECT_EQ(moved.bstrVal(), u"a longer text that does not fit in place");
}

TEST(VariantValues, AssigningAnElementOfItsOwnArrayKeepsTheElement) {
  // The array the target owns is freed by the assignment; the value must be
  // taken before that, for copies and moves, owned and plain values alike.
  auto make = [] {
    return Variant::Array(SafeArray::Vector(VT_VARIANT, {Variant(42), Variant(u"inner text kept by the copy")}));
  };
  Variant a = make();
  a = a.parray()->Elements()[0];
  ASSERT_EQ(a.vt(), VT_I4);
  EXPECT_EQ(a.lVal(), 42);
  Variant b = make();
  b = b.parray()->Elements()[1];
  ASSERT_EQ(b.vt(), VT_BSTR);
  EXPECT_EQ(b.bstrVal(), u"inner text kept by the copy");
  Variant c = make();
  c = std::move(c.parray()->Elements()[1]);
  ASSERT_EQ(c.vt(), VT_BSTR);
  EXPECT_EQ(c.bstrVal(), u"inner text kept by the copy");
}

TEST(VariantValues, ObjectReferencesAreCountedThroughCopiesMovesAndClears) {
  {
    ComPtr<Probe> probe = MakeObject<Probe>();
    Variant held(probe->AsDispatch());
    probe.Reset();
    EXPECT_EQ(Probe::live, 1);
    Variant copy = held;
    Variant moved = std::move(held);
    moved.Clear();
    EXPECT_EQ(Probe::live, 1) << "the copy still holds it";
    copy = Variant(1);
    EXPECT_EQ(Probe::live, 0);
  }
  EXPECT_EQ(Probe::live, 0);
}

TEST(VariantValues, RecycledStringsStartEmptyAndKeepTheirOwnText) {
  // Strings of all lengths, dropped and made again many times: each new one
  // has exactly its own text (a recycled box must not show an old one).
  for (int round = 0; round < 3; ++round) {
    std::vector<Variant> kept;
    for (int i = 0; i < 200; ++i) {
      UString text(static_cast<std::size_t>(i * 3 % 300), static_cast<char16_t>(u'a' + i % 26));
      Variant v(text);
      Variant copy(v);
      EXPECT_EQ(copy.bstrVal(), text);
      if (i % 2) kept.push_back(std::move(copy));
    }
    EXPECT_TRUE(Variant::OfType(VT_BSTR).bstrVal().empty());
    EXPECT_EQ(Variant(static_cast<const char16_t*>(nullptr)).bstrVal(), u"");
    for (std::size_t k = 0; k < kept.size(); ++k) {
      const int i = static_cast<int>(2 * k + 1);
      EXPECT_EQ(kept[k].bstrVal(), UString(static_cast<std::size_t>(i * 3 % 300), static_cast<char16_t>(u'a' + i % 26)));
    }
  }
}

TEST(VariantValues, StringsMadeOnOneThreadAreDroppedOnAnother) {
  // Under the sanitizers this proves that recycling strings per thread
  // neither leaks nor frees twice when values change threads.
  std::vector<Variant> made;
  std::thread maker([&] {
    for (int i = 0; i < 100; ++i) made.emplace_back(UString(static_cast<std::size_t>(i), u'x'));
  });
  maker.join();
  std::thread dropper([&] {
    for (Variant& v : made) v.Clear();
    for (int i = 0; i < 100; ++i) Variant again(UString(static_cast<std::size_t>(i), u'y'));
  });
  dropper.join();
  for (const Variant& v : made) EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(Variant(u"after").bstrVal(), u"after");
}

TEST(InlineVariantsTest, HoldsWhatWasPlacedInPlaceOrOnTheHeap) {
  for (std::size_t capacity : {std::size_t{0}, std::size_t{3}, std::size_t{4}, std::size_t{9}}) {
    InlineVariants<4> values(capacity);
    for (std::size_t i = 0; i < capacity; ++i) {
      if (i % 2) {
        values.Emplace(UString(40, u'a'));
      } else {
        values.Emplace(static_cast<std::int32_t>(i));
      }
    }
    EXPECT_EQ(values.size(), capacity);
    for (std::size_t i = 0; i < capacity; ++i) {
      if (i % 2) {
        EXPECT_EQ(values[i].bstrVal(), UString(40, u'a'));
      } else {
        EXPECT_EQ(values[i].lVal(), static_cast<std::int32_t>(i));
      }
    }
    EXPECT_THROW(values.Emplace(), std::length_error);
    EXPECT_EQ(values.size(), capacity);
  }
  // Only what was placed is destroyed: a partly filled array releases its
  // one object and nothing else.
  {
    InlineVariants<4> partial(4);
    ComPtr<Probe> probe = MakeObject<Probe>();
    partial.Emplace(probe->AsDispatch());
    probe.Reset();
    EXPECT_EQ(Probe::live, 1);
  }
  EXPECT_EQ(Probe::live, 0);
}

}  // namespace
}  // namespace tarnel
