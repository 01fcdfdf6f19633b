// Tarnel.TestObject: its interface and event tables and its members. Each
// member exists to exercise one path of the host or the dispatch layer.
#include "host/test_object.h"

#include <limits>
#include <utility>

#include "platform/apartment/apartment.h"
#include "platform/automation/activation.h"
#include "platform/automation/member_binding.h"
#include "platform/debugout/debug_output.h"

namespace tarnel::host {
namespace {

ParamDesc In(const char16_t* name, VarType type) { return ParamDesc{name, type, false}; }
ParamDesc Ref(const char16_t* name, VarType type) { return ParamDesc{name, type, true}; }
ParamDesc Optional(const char16_t* name, VarType type) { return ParamDesc{name, type, false, true}; }
ParamDesc Default(const char16_t* name, VarType type, std::int32_t value) {
  return ParamDesc{name, type, false, true, true, value};
}

using T = TestObject;
using MK = MemberKind;

constexpr Guid kInterfaceId = MakeGuid("3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4B01");
constexpr Guid kEventsId = MakeGuid("3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4B02");
constexpr Guid kClassId = MakeGuid("3E0C7A10-5B2D-4F61-9C84-7A1D2E3F4B03");

}  // namespace

const TypeInfo& TestObject::Type() {
  static const TypeInfo type(
      u"_TestObject", kInterfaceId, TypeKind::Dispatch,
      {
          {0, u"Value", MK::Get, {}, VT_VARIANT, Bind<&T::GetValue>()},
          {0, u"Value", MK::Let, {In(u"value", VT_VARIANT)}, VT_EMPTY, Bind<&T::LetValue>()},
          {1, u"Name", MK::Get, {}, VT_BSTR, Bind<&T::GetName>()},
          {1, u"Name", MK::Let, {In(u"value", VT_BSTR)}, VT_EMPTY, Bind<&T::LetName>()},
          {2, u"Child", MK::Get, {}, VT_DISPATCH, Bind<&T::GetChild>()},
          {2, u"Child", MK::Set, {In(u"value", VT_DISPATCH)}, VT_EMPTY, Bind<&T::SetChild>()},
          {3, u"Add", MK::Method, {In(u"a", VT_I4), In(u"b", VT_I4)}, VT_I4, Bind<&T::Add>()},
          {4, u"Swap", MK::Method, {Ref(u"a", VT_VARIANT), Ref(u"b", VT_VARIANT)}, VT_EMPTY, Bind<&T::Swap>()},
          {5, u"Increment", MK::Method, {Ref(u"n", VT_I4), Default(u"step", VT_I4, 1)}, VT_I4,
           Bind<&T::Increment>()},
          {6, u"Describe", MK::Method,
           {Ref(u"a", VT_VARIANT), Default(u"b", VT_I4, 7), Optional(u"c", VT_VARIANT)}, VT_BSTR,
           Bind<&T::Describe>()},
          {7, u"Fail", MK::Method, {In(u"number", VT_I4), Optional(u"description", VT_VARIANT)}, VT_EMPTY,
           Bind<&T::Fail>()},
          {8, u"CreateChild", MK::Method, {In(u"name", VT_BSTR)}, VT_DISPATCH, Bind<&T::CreateChild>()},
          {9, u"FireChanged", MK::Method, {In(u"name", VT_BSTR)}, VT_I4, Bind<&T::FireChanged>()},
          {10, u"PostProgress", MK::Method, {In(u"count", VT_I4)}, VT_EMPTY, Bind<&T::PostProgress>()},
          {11, u"LastCount", MK::Get, {}, VT_I4, Bind<&T::GetLastCount>()},
          {12, u"LastText", MK::Get, {}, VT_BSTR, Bind<&T::GetLastText>()},
          {13, u"Length", MK::Method, {Ref(u"text", VT_BSTR)}, VT_I4, Bind<&T::Length>()},
          {14, u"Echo", MK::Method, {Ref(u"value", VT_VARIANT)}, VT_VARIANT, Bind<&T::Echo>()},
          {15, u"Items", MK::Method, {In(u"count", VT_I4)}, VT_VARIANT, Bind<&T::Items>()},
          {16, u"ReadOnly", MK::Get, {}, VT_I4, Bind<&T::GetReadOnly>()},
          {17, u"Item", MK::Get, {In(u"index", VT_I4)}, VT_BSTR, Bind<&T::GetItem>()},
          {18, u"Ask", MK::Method, {In(u"question", VT_BSTR)}, VT_VARIANT, Bind<&T::Ask>()},
          {19, u"Matrix", MK::Method, {In(u"rows", VT_I4), In(u"columns", VT_I4)}, VT_VARIANT,
           Bind<&T::Matrix>()},
          {20, u"WriteOnly", MK::Let, {In(u"value", VT_I4)}, VT_EMPTY, Bind<&T::LetWriteOnly>()},
          {21, u"Picture", MK::Get, {}, VT_DISPATCH, Bind<&T::GetPicture>()},
          {21, u"Picture", MK::Set, {In(u"value", VT_DISPATCH)}, VT_EMPTY, Bind<&T::SetPicture>()},
          {22, u"PostFailure", MK::Method, {In(u"number", VT_I4)}, VT_EMPTY, Bind<&T::PostFailure>()},
          {23, u"DebugPrint", MK::Method, {In(u"text", VT_BSTR)}, VT_EMPTY, Bind<&T::DebugPrint>()},
          {24, u"Rewrite", MK::Method, {Ref(u"text", VT_BSTR), In(u"count", VT_I4), Ref(u"n", VT_I4)}, VT_BSTR,
           Bind<&T::Rewrite>()},
      },
      TYPEFLAG_FDISPATCHABLE);
  return type;
}

const TypeInfo& TestObject::EventType() {
  static const TypeInfo type(u"__TestObject", kEventsId, TypeKind::Dispatch,
                             {
                                 {1, u"Changed", MK::Method, {In(u"Name", VT_BSTR), Ref(u"Cancel", VT_I4)}},
                                 {2, u"Progress", MK::Method, {Ref(u"Count", VT_I4), Ref(u"Text", VT_BSTR)}},
                                 {3, u"Query", MK::Method, {In(u"Question", VT_BSTR), Ref(u"Answer", VT_VARIANT)}},
                             },
                             TYPEFLAG_FHIDDEN);
  return type;
}

const CoClassInfo* TestObject::Class() {
  static const CoClassInfo info{u"TestObject", kClassId, u"Tarnel.TestObject", &Type(), &EventType(),
                                TYPEFLAG_FCANCREATE};
  return &info;
}

TestObject::TestObject() : point_(EventType()) {}

bool TestObject::QueryExtra(const Guid& iid, void** out) {
  if (iid == IID_IConnectionPointContainer) {
    *out = static_cast<ConnectionPointContainer*>(this);
    return true;
  }
  if (iid == IID_ControlFaceProvider) {
    *out = static_cast<ControlFaceProvider*>(this);
    return true;
  }
  return false;
}

HRESULT TestObject::FindConnectionPoint(const Guid& iid, ConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = iid == EventType().Id() ? &point_ : nullptr;
  return *point ? S_OK : CONNECT_E_NOCONNECTION;
}

ControlFace TestObject::GetFace() {
  ControlFace face;
  face.width = width_;
  face.height = height_;
  face.labels.push_back(ControlLabel{u"lblName", name_, 0, 0, 2400, 255});
  face.labels.push_back(
      ControlLabel{u"lblSize", DecimalText(width_) + u"x" + DecimalText(height_), 0, 255, 1200, 255});
  return face;
}

// The resize handler keeps room for the size label and a fixed height.
void TestObject::Resize(std::int32_t widthTwips, std::int32_t /*heightTwips*/) {
  width_ = widthTwips < 1200 ? 1200 : widthTwips;
  height_ = 510;
}

void TestObject::LetName(UString& value) {
  if (value.empty()) RaiseError(5, u"Name cannot be empty");
  name_ = value;
}

std::int32_t TestObject::Add(std::int32_t& a, std::int32_t& b) {
  std::int64_t sum = std::int64_t{a} + b;
  if (sum < std::numeric_limits<std::int32_t>::min() || sum > std::numeric_limits<std::int32_t>::max()) RaiseError(6);
  return static_cast<std::int32_t>(sum);
}

void TestObject::Swap(Variant& a, Variant& b) { std::swap(a, b); }

UString TestObject::Rewrite(UString& text, std::int32_t& count, std::int32_t& n) {
  text += u"!";
  count = -count;  // by value: the caller keeps its own
  n *= 2;
  if (n < 0) RaiseError(5, u"n must not be negative");
  return text + u"/" + DecimalText(count);
}

std::int32_t TestObject::Increment(std::int32_t& n, std::int32_t& step) { return n = Add(n, step); }

UString TestObject::Describe(Variant& a, std::int32_t& b, Variant& c) {
  a = Variant(u"described");  // a by-reference change, seen only when the call succeeds
  return u"b=" + DecimalText(b) + u" c=" + (c.IsMissing() ? UString(u"missing") : UString(u"present"));
}

void TestObject::Fail(std::int32_t& number, Variant& description) {
  UString text = description.vt() == VT_BSTR ? description.bstrVal() : UString();
  if (number > 0 && number <= 0xFFFF) RaiseError(number, text, u"Tarnel.TestObject");
  RaiseHResult(number, text, u"Tarnel.TestObject");
}

Variant TestObject::CreateChild(UString& name) {
  ComPtr<TestObject> child = MakeObject<TestObject>();
  child->name_ = name;
  return Variant(static_cast<Dispatch*>(child.get()));
}

std::int32_t TestObject::FireChanged(UString& name) {
  std::int32_t cancel = 0;
  std::vector<Variant> args;
  args.push_back(Variant(name));
  args.push_back(Variant::RefTyped(VT_I4, &cancel));
  point_.Fire(1, args);
  return cancel;
}

Variant TestObject::Ask(UString& question) {
  Variant answer;
  std::vector<Variant> args;
  args.push_back(Variant(question));
  args.push_back(Variant::Ref(&answer));
  point_.Fire(3, args);
  return answer;
}

void TestObject::PostProgress(std::int32_t& count) {
  ComPtr<TestObject> self(this);
  std::int32_t start = count;
  Apartment::Current().Post([self, start] {
    std::int32_t value = start;
    UString text = u"progress";
    std::vector<Variant> args;
    args.push_back(Variant::RefTyped(VT_I4, &value));
    args.push_back(Variant::RefTyped(VT_BSTR, &text));
    self->point_.Fire(2, args);
    self->lastCount_ = value;
    self->lastText_ = text;
  });
}

void TestObject::PostFailure(std::int32_t& number) {
  std::int32_t n = number;
  Apartment::Current().Post([n] { RaiseError(n, {}, u"Tarnel.TestObject"); });
}

Variant TestObject::Items(std::int32_t& count) {
  if (count < 0 || count > 100000) RaiseError(5);
  std::vector<Variant> items;
  for (std::int32_t i = 1; i <= count; ++i) items.push_back(Variant(u"item" + DecimalText(i)));
  return Variant::Array(SafeArray::Vector(VT_VARIANT, std::move(items)));
}

Variant TestObject::Matrix(std::int32_t& rows, std::int32_t& columns) {
  if (rows < 0 || columns < 0 || rows > 1000 || columns > 1000) RaiseError(5);
  auto array = std::make_unique<SafeArray>(
      VT_I4, std::vector<SafeArray::Bound>{{0, static_cast<std::uint32_t>(rows)}, {0, static_cast<std::uint32_t>(columns)}});
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c) array->PutElement({r, c}, Variant(r * 10 + c));
  }
  return Variant::Array(std::move(array));
}

void TestObject::DebugPrint(UString& text) { OutputDebugLine(text); }

UString TestObject::GetItem(std::int32_t& index) {
  if (index < 1) RaiseError(9);
  return u"item" + DecimalText(index);
}

void RegisterTestObjects() {
  RegisterBuiltinClass(*TestObject::Class(), [] { return ComPtr<Dispatch>(MakeObject<TestObject>()); });
}

}  // namespace tarnel::host
