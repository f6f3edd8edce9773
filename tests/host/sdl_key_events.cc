// The SDL host's keys: which key presses become window events.
#include <gtest/gtest.h>

#include "host/sdl/sdl_internal.h"

namespace {

SDL_Keysym key(SDL_Scancode code, Uint16 mod = KMOD_NONE) {
  SDL_Keysym sym{};
  sym.scancode = code;
  sym.mod = mod;
  return sym;
}

TEST(SdlKeys, EscapeAndAltEnterAreTheOnlyKeysThatMeanSomething) {
  EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_ESCAPE)), HostEventType::escape);
  for (Uint16 alt : {KMOD_LALT, KMOD_RALT}) {
    EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_RETURN, alt)), HostEventType::toggle_fullscreen);
    EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_KP_ENTER, alt)), HostEventType::toggle_fullscreen);
    // Alt+Escape belongs to the desktop, not to the program.
    EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_ESCAPE, alt)), std::nullopt);
  }
  // Enter without Alt, other keys, and Enter with other modifiers only.
  EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_RETURN)), std::nullopt);
  EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_RETURN, KMOD_LCTRL)), std::nullopt);
  EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_A)), std::nullopt);
  EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_SPACE, KMOD_LALT)), std::nullopt);
  // Caps Lock or Num Lock on does not hide Escape.
  EXPECT_EQ(sdl_key_event(key(SDL_SCANCODE_ESCAPE, KMOD_CAPS | KMOD_NUM)), HostEventType::escape);
}

}  // namespace
