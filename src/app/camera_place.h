#pragma once
// The camera's place as the options that bring the view back: what C prints
// and what every F12 picture carries.

#include <cstddef>

namespace q {

class Camera;

// "--start X Y Z --look YAW PITCH" into out (at most size bytes, always
// ended). The numbers are written so that they read back as the same floats;
// the angles are brought into (-pi, pi], which turns the view the same way and
// stays within what --look accepts however far the mouse has turned.
void formatCameraPlace(const Camera& camera, char* out, size_t size);

}  // namespace q
