// The Registry control's members: each hands its arguments to the shell
// object and returns what it gives back; RegRead keeps the value read, and
// RegReadElement hands out its elements. The control always takes its
// label's size.
#include "tarneltools/registry/registry_control.h"

#include "platform/automation/activation.h"
#include "platform/automation/com_error.h"
#include "tarneltools/control/type_library.h"

namespace tarnel {
namespace {

constexpr int kTypeMismatch = 13;
constexpr int kSubscriptOutOfRange = 9;

}  // namespace

const TypeInfo& RegistryControl::Type() { return RegistryInterface(); }
const CoClassInfo* RegistryControl::Class() { return &RegistryClass(); }

ComPtr<RegistryControl> RegistryControl::Create() { return ComPtr<RegistryControl>::Adopt(new RegistryControl()); }

RegistryControl::RegistryControl()
    : mnWidth(1215), mnHeight(255), Label1{u"Label1", u"Registry Control", 120, 120, 1215, 255} {
  UserControl_Initialize();
}

RegistryControl::~RegistryControl() { UserControl_Terminate(); }

void RegistryControl::UserControl_Initialize() { moShell = CreateObject(u"WScript.Shell"); }

void RegistryControl::UserControl_Terminate() { moShell.Reset(); }

void RegistryControl::UserControl_Resize() {
  mnWidth = Label1.width;
  mnHeight = Label1.height;
}

Variant RegistryControl::RegRead(UString& sKey, std::int32_t& nElements) {
  Variant result;
  // A failing read raises here, before anything below is changed.
  mvValue = CallByName(moShell.get(), u"RegRead", DISPATCH_METHOD, {Variant(sKey)});
  if (mvValue.IsArray()) {
    // The shell object's arrays start at 0, so the count is the upper bound
    // plus one; an array without elements has upper bound -1.
    nElements = mvValue.parray()->UBound(0) + 1;
  } else {
    nElements = 0;
    result = mvValue;
  }
  return result;
}

Variant RegistryControl::RegReadElement(std::int32_t& nElement) {
  if (!mvValue.IsArray()) RaiseError(kTypeMismatch);
  Variant element;
  if (Failed(mvValue.parray()->GetElement({nElement}, element))) RaiseError(kSubscriptOutOfRange);
  return element;
}

Variant RegistryControl::RegWrite(UString& sKey, Variant& vValue, UString& sDataType) {
  CallByName(moShell.get(), u"RegWrite", DISPATCH_METHOD, {Variant(sKey), vValue.Deref(), Variant(sDataType)});
  return {};
}

Variant RegistryControl::RegDelete(UString& sKey) {
  CallByName(moShell.get(), u"RegDelete", DISPATCH_METHOD, {Variant(sKey)});
  return {};
}

ControlFace RegistryControl::GetFace() { return ControlFace{mnWidth, mnHeight, {Label1}}; }

void RegistryControl::Resize(std::int32_t widthTwips, std::int32_t heightTwips) {
  if (widthTwips < 0 || heightTwips < 0) RaiseError(380, u"Invalid property value");
  mnWidth = widthTwips;
  mnHeight = heightTwips;
  UserControl_Resize();
}

}  // namespace tarnel
