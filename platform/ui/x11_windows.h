// Other programs' top-level windows on the X display: finding one by its
// window class and placing it, as the original found and placed windows by
// class name.
//
// Each call opens its own connection to the display that $DISPLAY names and
// closes it before returning, so it works whichever Qt platform (if any) the
// program runs on. Where there is no X display (no $DISPLAY, or a Wayland
// session without XWayland) nothing is found and nothing is placed. Windows
// of Wayland-native programs are not X windows and are never found.
//
// Thread safety: every call is independent; X errors during a call (a window
// that goes away meanwhile) are absorbed by that call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace bq::ui::x11 {

// The first top-level window, from the top of the stacking order down, whose
// WM_CLASS class or instance name is `windowClass` (ASCII letters compared
// without regard to case), whatever its title. Where a window manager frames
// the windows, the framed client window is found. Nothing when there is none
// or no display.
std::optional<uint32_t> findTopLevelWindow(const std::string& windowClass);

enum class Placement { kNoDisplay, kNotFound, kPlaced };

// Finds the window as findTopLevelWindow does and, when there is one, moves
// and sizes it to `rect` (sizes limited to 1 to 32767, what X can take),
// keeps it above the other windows (_NET_WM_STATE_ABOVE: asked of the window
// manager, or set on the window where none runs), maps it and raises it.
Placement placeTopLevelWindow(const std::string& windowClass, const PixelRect& rect);

// What the X server says about window `id` (for tests and diagnostics).
struct WindowFacts {
  PixelRect geometry;  // position relative to the root window, inside size
  bool viewable = false;
  bool above = false;          // _NET_WM_STATE holds _NET_WM_STATE_ABOVE
  bool topOfStack = false;     // no sibling of its top-level ancestor lies above it
  std::vector<std::string> wmClass;  // instance and class names
};
std::optional<WindowFacts> describeWindow(uint32_t id);

}  // namespace bq::ui::x11
