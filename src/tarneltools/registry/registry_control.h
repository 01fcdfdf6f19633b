// RegistryControl: the Registry control. It reads, writes and deletes
// registry values through the platform's shell object ("WScript.Shell"),
// and keeps the value of its last successful read so that a script, which
// cannot hold arrays, can fetch a multi-element value one element per call.
// It catches no errors: every failure of the shell object or of its own
// indexing reaches the caller with that error's number and description.
// Thread rule: created, called and destroyed on one apartment thread; it
// owns its shell object and its stored value.
#pragma once
#include <cstdint>

#include "platform/automation/control_site.h"
#include "tarneltools/control/control_base.h"

namespace tarnel {

class RegistryControl final : public ControlBase<RegistryControl> {
 public:
  static const TypeInfo& Type();
  static const CoClassInfo* Class();
  // A new instance, initialised; throws ComError when the shell object
  // cannot be created.
  static ComPtr<RegistryControl> Create();

  // _Registry methods.
  Variant RegRead(UString& sKey, std::int32_t& nElements);
  Variant RegReadElement(std::int32_t& nElement);
  Variant RegWrite(UString& sKey, Variant& vValue, UString& sDataType);
  Variant RegDelete(UString& sKey);

  ControlFace GetFace() override;
  void Resize(std::int32_t widthTwips, std::int32_t heightTwips) override;

 private:
  RegistryControl();
  ~RegistryControl() override;

  void UserControl_Initialize();
  void UserControl_Resize();
  void UserControl_Terminate();

  ComPtr<Dispatch> moShell;  // the shell object, the same for every call
  Variant mvValue;           // the value of the last successful RegRead

  std::int32_t mnWidth;
  std::int32_t mnHeight;
  ControlLabel Label1;
};

}  // namespace tarnel
