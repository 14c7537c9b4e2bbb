#pragma once
// How a drawn button and a window's control colours look, as plain decisions: the fill and text
// colour for a button's state, the centring of its text block, and which controls get the
// window's brush. Colours are COLORREF values, 0x00BBGGRR.
#include <cstdint>

#include "base/utf16.h"

using Colour = uint32_t;

constexpr Colour kDisabledFill = 0xFFFFFF;  // white
constexpr Colour kDisabledText = 0xB4B4B4;  // RGB (180, 180, 180)

struct ButtonColours {
  Colour normal = 0xFF9933;   // RGB (51, 153, 255)
  Colour hover = 0xB56B05;    // RGB (5, 107, 181)
  Colour pressed = 0x858585;  // RGB (133, 133, 133)
  Colour frame = 0xFFFFFF;
  Colour text = 0xFFFFFF;
  bool operator==(const ButtonColours&) const = default;
};

struct ButtonState {
  bool hover = false;     // the mouse is over the button
  bool pressed = false;   // ODS_SELECTED
  bool disabled = false;  // ODS_DISABLED
};

// The inner fill: pressed wins over disabled, disabled over hover, hover over normal.
Colour ButtonFill(const ButtonColours& colours, ButtonState state);
// Grey while disabled, the button's text colour otherwise.
Colour ButtonTextColour(const ButtonColours& colours, bool disabled);

// How far to move a text block measured at the client's top-left corner so that it is centred
// both ways (integer halves, truncating towards zero: a block larger than the client moves up
// or left by half the excess).
struct BlockOffset {
  int dx = 0;
  int dy = 0;
  bool operator==(const BlockOffset&) const = default;
};
BlockOffset CentreBlock(int clientWidth, int clientHeight, int blockWidth, int blockHeight);

// Which control-colour request gets the window's brush: static requests from anything but an
// edit control (a read-only or disabled edit asks as a static and keeps the system colours).
// Button requests get none: the buttons draw themselves.
enum class ControlColourRequest { Button, Static };
bool HandsOutBrush(ControlColourRequest request, U16View controlClassName);

// The colours the main window gives its title-bar buttons and its clear-log button; the run
// buttons keep the defaults. Unknown ids get the defaults.
ButtonColours MainWindowButtonColours(int controlId);
