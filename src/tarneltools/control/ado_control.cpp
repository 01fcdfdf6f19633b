// The ADO control's lifecycle and face: what creating an instance sets up
// (the handle table, the keyed store, the label captions), how it lays out
// its labels when resized, what it releases when destroyed, and its
// properties Version, DebugMode and Connections.
#include "tarneltools/control/ado_control.h"

#include "platform/automation/com_error.h"
#include "tarneltools/control/type_library.h"

namespace tarnel {
namespace {

// The control's design size in twips.
constexpr std::int32_t kDesignWidth = 3105;
constexpr std::int32_t kDesignHeight = 510;

UString BooleanCaption(VariantBool value) { return value ? u"True" : u"False"; }

}  // namespace

const TypeInfo& AdoControl::Type() { return AdoInterface(); }
const CoClassInfo* AdoControl::Class() { return &AdoClass(); }

ComPtr<AdoControl> AdoControl::Create() { return ComPtr<AdoControl>::Adopt(new AdoControl()); }

AdoControl::AdoControl()
    : mnWidth(kDesignWidth),
      mnHeight(kDesignHeight),
      lblVersion{u"lblVersion", u"<version>", 0, 0, 3015, 255},
      Label1{u"Label1", u"Connections:", 0, 240, 930, 195},
      lblConnections{u"lblConnections", u"x", 1080, 240, 495, 255},
      Label2{u"Label2", u"Debug:", 1680, 240, 525, 195},
      lblDebugMode{u"lblDebugMode", u"x", 2400, 240, 615, 255} {
  UserControl_Initialize();
}

AdoControl::~AdoControl() { UserControl_Terminate(); }

void AdoControl::UserControl_Initialize() {
  lblVersion.caption = u"TarnelTools.ADO Control v" + DecimalText(kVersionMajor) + u"." + DecimalText(kVersionMinor) +
                       u"." + DecimalText(kVersionRevision);
  // mSlots was allocated with its 51 free slots as the object was built.
  lblConnections.caption = DecimalText(mnConnections);
  lblDebugMode.caption = BooleanCaption(mbDebugMode);
  moCollection = std::make_unique<KeyedStore>();
}

void AdoControl::UserControl_Resize() {
  // Only the version line follows the control's width; a width the label
  // cannot take is ignored, as is any error here.
  if (mnWidth >= 0) lblVersion.width = mnWidth;
}

void AdoControl::UserControl_Terminate() {
  // Emptying the event sources ends their subscriptions before anything else
  // is released; nothing is closed explicitly.
  moConnectionEventSource.Reset();
  moRecordsetEventSource.Reset();
  mSlots.Free();
  moCollection.reset();
}

UString AdoControl::Version() {
  return DecimalText(kVersionMajor) + u"." + DecimalText(kVersionMinor) + u"." + DecimalText(kVersionRevision);
}

std::int32_t AdoControl::GetDebugMode() { return mbDebugMode ? 1 : 0; }

void AdoControl::LetDebugMode(std::int32_t& value) {
  mbDebugMode = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  lblDebugMode.caption = BooleanCaption(mbDebugMode);
  DebugLog(u"DebugMode set to " + BooleanCaption(mbDebugMode));
}

std::int32_t AdoControl::Connections() { return mnConnections; }

void AdoControl::SetConnections(std::int32_t count) {
  mnConnections = count;
  lblConnections.caption = DecimalText(mnConnections);
}

ControlFace AdoControl::GetFace() {
  return ControlFace{mnWidth, mnHeight, {lblVersion, Label1, lblConnections, Label2, lblDebugMode}};
}

void AdoControl::Resize(std::int32_t widthTwips, std::int32_t heightTwips) {
  if (widthTwips < 0 || heightTwips < 0) RaiseError(380, u"Invalid property value");
  mnWidth = widthTwips;
  mnHeight = heightTwips;
  UserControl_Resize();
}

}  // namespace tarnel
