// TypeName: VB's names for the automation types, class names of objects
// from their class or interface information, arrays and references.
#include <gtest/gtest.h>

#include "conversion_fakes.h"
#include "platform/automation/variant_convert.h"

namespace tarnel {
namespace {

using testing::ErrorOf;
using testing::FakeObject;

std::string Name(const Variant& v) { return ToUtf8(TypeName(v)); }

TEST(TypeName, VbNamesOfTheValueTypes) {
  EXPECT_EQ(Name(Variant()), "Empty");
  EXPECT_EQ(Name(Variant::Null()), "Null");
  EXPECT_EQ(Name(Variant::I2(1)), "Integer");
  EXPECT_EQ(Name(Variant(1)), "Long");
  EXPECT_EQ(Name(Variant::R4(1)), "Single");
  EXPECT_EQ(Name(Variant(1.0)), "Double");
  EXPECT_EQ(Name(Variant::Cy(Currency{1})), "Currency");
  EXPECT_EQ(Name(Variant::FromDate(1)), "Date");
  EXPECT_EQ(Name(Variant(u"")), "String");
  EXPECT_EQ(Name(Variant(true)), "Boolean");
  EXPECT_EQ(Name(Variant::Missing()), "Error");
  EXPECT_EQ(Name(Variant::Dec(Decimal{})), "Decimal");
  EXPECT_EQ(Name(Variant::UI1(1)), "Byte");
  EXPECT_EQ(Name(Variant::I8(1)), "LongLong");
  EXPECT_EQ(Name(Variant::OfType(VT_I1)), "SByte");
  EXPECT_EQ(Name(Variant::OfType(VT_UI4)), "ULong");
  EXPECT_EQ(Name(Variant::OfType(VT_INT)), "Long");
  EXPECT_EQ(ErrorOf([] { TypeName(Variant::OfType(VT_VOID)); }), 458);
}

TEST(TypeName, ArraysAndReferences) {
  EXPECT_EQ(Name(Variant::Array(SafeArray::Vector(VT_VARIANT, {}))), "Variant()");
  EXPECT_EQ(Name(Variant::Array(SafeArray::Vector(VT_UI1, {}))), "Byte()");
  EXPECT_EQ(Name(Variant::Array(SafeArray::Vector(VT_BSTR, {}))), "String()");
  EXPECT_EQ(Name(Variant::Array(SafeArray::Vector(VT_DISPATCH, {}))), "Object()");
  Variant target(u"x");
  EXPECT_EQ(Name(Variant::Ref(&target)), "String");
  double d = 0;
  EXPECT_EQ(Name(Variant::RefTyped(VT_R8, &d)), "Double");
  SafeArray* array = nullptr;
  EXPECT_EQ(Name(Variant::RefTyped(static_cast<VarType>(VT_ARRAY | VT_I2), &array)), "Integer()");
  EXPECT_EQ(ErrorOf([] { TypeName(Variant::Ref(nullptr)); }), 13);
}

TEST(TypeName, ObjectsByClassThenInterfaceName) {
  static const TypeInfo recordsetInterface(u"_Recordset", Guid{}, TypeKind::Dispatch, {});
  static const TypeInfo plainInterface(u"Fields", Guid{}, TypeKind::Dispatch, {});
  static const TypeInfo unnamedInterface(u"_", Guid{}, TypeKind::Dispatch, {});
  static const CoClassInfo widget{u"Widget", Guid{}, u"Test.Widget", &recordsetInterface, nullptr};
  auto obj = MakeObject<FakeObject>();
  EXPECT_EQ(Name(obj->AsVariant()), "Object");
  obj->type = &recordsetInterface;
  EXPECT_EQ(Name(obj->AsVariant()), "Recordset");
  obj->type = &plainInterface;
  EXPECT_EQ(Name(obj->AsVariant()), "Fields");
  obj->type = &unnamedInterface;
  EXPECT_EQ(Name(obj->AsVariant()), "Object");
  obj->cls = &widget;
  EXPECT_EQ(Name(obj->AsVariant()), "Widget");
  EXPECT_EQ(ToUtf8(TypeNameOfObject(static_cast<Dispatch*>(obj.get()))), "Widget");
  EXPECT_EQ(Name(Variant::Unk(static_cast<Dispatch*>(obj.get()))), "Widget");
  EXPECT_EQ(obj->invokes, 0);  // the default member is not read
}

TEST(TypeName, NothingAndPlainUnknowns) {
  EXPECT_EQ(Name(Variant(static_cast<Dispatch*>(nullptr))), "Nothing");
  EXPECT_EQ(Name(Variant::Unk(nullptr)), "Nothing");
  EXPECT_EQ(ToUtf8(TypeNameOfObject(nullptr)), "Nothing");
  auto plain = MakeObject<testing::FakeUnknown>();
  EXPECT_EQ(Name(Variant::Unk(plain.get())), "Unknown");
  Dispatch* nothing = nullptr;
  EXPECT_EQ(Name(Variant::RefTyped(VT_DISPATCH, &nothing)), "Nothing");
}

}  // namespace
}  // namespace tarnel
