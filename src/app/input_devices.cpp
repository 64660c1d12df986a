#include "app/input_devices.h"

#include "platform/window.h"

namespace q {

void InputDevices::update() {
    if (source_) source_->readInput(&state);
    else state = InputState{};
}

}  // namespace q
