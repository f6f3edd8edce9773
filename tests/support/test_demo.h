// The demo that test programs link: each hook runs what the test installed, or does the
// least a demo can (keep defaults, load nothing, end at the first frame).
#pragma once

#include <functional>

#include "app/demo_hooks.h"

namespace test_demo {

inline std::function<void(DemoConfig&)> configure;
inline std::function<bool(DemoConfig&)> load;
inline std::function<bool(const Screen&, const FrameClock&)> frame;
inline std::function<void()> unload;

inline void reset() {
  configure = nullptr;
  load = nullptr;
  frame = nullptr;
  unload = nullptr;
}

}  // namespace test_demo
