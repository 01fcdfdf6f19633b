// Tarnel.TestObject: a built-in object of test builds (TARNEL_TEST_OBJECTS)
// that lets tests reach every path of the host and the dispatch layer:
// by-reference and optional parameters, a raised error, property let, set
// and get, returned objects and arrays, events with by-reference arguments
// (fired from a method and later from the apartment's queue) and a face for
// ControlFace and ResizeControl. Apartment-thread only, like any object.
#pragma once
#include "platform/automation/connection_point.h"
#include "platform/automation/control_site.h"
#include "platform/automation/dispatch_object.h"

namespace tarnel::host {

class TestObject final : public DispatchObject<TestObject>,
                         public ConnectionPointContainer,
                         public ControlFaceProvider {
 public:
  static const TypeInfo& Type();        // _TestObject
  static const TypeInfo& EventType();   // __TestObject
  static const CoClassInfo* Class();    // TestObject, "Tarnel.TestObject"

  TestObject();

  HRESULT QueryInterface(const Guid& iid, void** out) override { return DispatchObject::QueryInterface(iid, out); }
  std::uint32_t AddRef() override { return DispatchObject::AddRef(); }
  std::uint32_t Release() override { return DispatchObject::Release(); }

  HRESULT FindConnectionPoint(const Guid& iid, ConnectionPoint** point) override;
  ControlFace GetFace() override;
  void Resize(std::int32_t widthTwips, std::int32_t heightTwips) override;

  // Members of _TestObject (see the table in test_object.cpp).
  UString GetName() { return name_; }
  void LetName(UString& value);
  Variant GetValue() { return value_; }
  void LetValue(Variant& value) { value_ = value; }
  Variant GetChild() { return child_; }
  void SetChild(Variant& value) { child_ = value; }
  Variant GetPicture() { return picture_; }
  void SetPicture(Variant& value) { picture_ = value; }
  void LetWriteOnly(std::int32_t& value) { lastCount_ = value; }
  std::int32_t Add(std::int32_t& a, std::int32_t& b);
  void Swap(Variant& a, Variant& b);
  // Changes all three arguments, then fails when n has become negative.
  UString Rewrite(UString& text, std::int32_t& count, std::int32_t& n);
  std::int32_t Increment(std::int32_t& n, std::int32_t& step);
  UString Describe(Variant& a, std::int32_t& b, Variant& c);
  void Fail(std::int32_t& number, Variant& description);
  Variant CreateChild(UString& name);
  std::int32_t FireChanged(UString& name);
  Variant Ask(UString& question);
  void PostProgress(std::int32_t& count);
  void PostFailure(std::int32_t& number);
  std::int32_t GetLastCount() { return lastCount_; }
  UString GetLastText() { return lastText_; }
  std::int32_t Length(UString& text) { return static_cast<std::int32_t>(text.size()); }
  Variant Echo(Variant& value) { return value; }
  Variant Items(std::int32_t& count);
  Variant Matrix(std::int32_t& rows, std::int32_t& columns);
  std::int32_t GetReadOnly() { return 42; }
  UString GetItem(std::int32_t& index);
  void DebugPrint(UString& text);

 protected:
  bool QueryExtra(const Guid& iid, void** out) override;

 private:
  ConnectionPoint point_;
  UString name_ = u"test";
  Variant value_;
  Variant child_;
  Variant picture_;
  std::int32_t lastCount_ = 0;
  UString lastText_;
  std::int32_t width_ = 2400;
  std::int32_t height_ = 510;
};

// Registers Tarnel.TestObject as a built-in class.
void RegisterTestObjects();

}  // namespace tarnel::host
