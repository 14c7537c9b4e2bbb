#include "shell/button_look.h"

#include "res/resource.h"

Colour ButtonFill(const ButtonColours& colours, ButtonState state) {
  if (state.pressed) return colours.pressed;
  if (state.disabled) return kDisabledFill;
  return state.hover ? colours.hover : colours.normal;
}

Colour ButtonTextColour(const ButtonColours& colours, bool disabled) {
  return disabled ? kDisabledText : colours.text;
}

BlockOffset CentreBlock(int clientWidth, int clientHeight, int blockWidth, int blockHeight) {
  // In 64 bits, so that extreme sizes cannot overflow the difference.
  const int64_t dx = (static_cast<int64_t>(clientWidth) - blockWidth) / 2;
  const int64_t dy = (static_cast<int64_t>(clientHeight) - blockHeight) / 2;
  return {static_cast<int>(dx), static_cast<int>(dy)};
}

bool HandsOutBrush(ControlColourRequest request, U16View controlClassName) {
  if (request != ControlColourRequest::Static) return false;
  // Class names compare without regard to case, as the window manager compares them.
  static constexpr char16_t kEdit[] = u"edit";
  if (controlClassName.size() != 4) return true;
  for (size_t i = 0; i < 4; ++i) {
    char16_t c = controlClassName[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kEdit[i]) return true;
  }
  return false;
}

ButtonColours MainWindowButtonColours(int controlId) {
  constexpr Colour kBlue = 0xD6920F;  // the window's background, RGB (15, 146, 214)
  switch (controlId) {
    case IDC_CLOSE:  // "×": red while the mouse is over it
      return {kBlue, 0x2524DA, 0x001196, kBlue, 0xFFFFFF};
    case IDC_MINIMIZE:  // "－"
    case IDC_WEB_PAGE:  // "≒"
      return {kBlue, 0xFFB321, 0x815808, kBlue, 0xFFFFFF};
    case IDC_CLEAR_LOG:  // "清空日志": pressed looks like hover
      return {kBlue, 0xFFB321, 0xFFB321, kBlue, 0xFFFFFF};
    default:
      return {};
  }
}
