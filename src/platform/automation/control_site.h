// What a container sees of a control that has a face: its size and its
// labels (name, caption, position and size, all in twips, in design order),
// and the resize a container performs, after which the control's own resize
// handler runs. The host's ControlFace and ResizeControl use it; controls
// answer QueryInterface(IID_ControlFaceProvider) with it.
// Apartment-thread only, like the control; a ControlFace is a plain value.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/automation/unknown.h"
#include "platform/automation/ustring.h"

namespace tarnel {

constexpr Guid IID_ControlFaceProvider = MakeGuid("6C1F3A52-7D0E-4B8E-9A51-2E4D8C7B1F30");

struct ControlLabel {
  UString name;     // "lblVersion"
  UString caption;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

struct ControlFace {
  std::int32_t width = 0;   // the control's own size
  std::int32_t height = 0;
  std::vector<ControlLabel> labels;  // in design order
};

class ControlFaceProvider : public Unknown {
 public:
  // The control's current size and labels.
  virtual ControlFace GetFace() = 0;
  // Sets the control's size as a container would, then runs the control's
  // resize handler (which may change the size again). Errors are ComErrors.
  virtual void Resize(std::int32_t widthTwips, std::int32_t heightTwips) = 0;
};

}  // namespace tarnel
