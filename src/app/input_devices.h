#pragma once
// The per-frame picture of keyboard and mouse that the camera reads: read once
// at the start of every frame from the window (or the script playing in its
// place). Held keys read as down in every frame until released; TAB and ESC act
// through window events instead.

#include "platform/input.h"

namespace q {

class Window;

class InputDevices {
public:
    InputState state;  // mouseState and keyState of this frame

    void init(Window* window) { source_ = window; }
    void update();

private:
    Window* source_ = nullptr;
};

}  // namespace q
