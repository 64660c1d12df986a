#pragma once
// How big a window really is. On X, SDL takes a full-screen window to be the
// screen's size as soon as it asks, and a window that leaves full screen to be
// the size it was made with; without a window manager to honour the requests
// the window keeps the size it has. So there the server is asked.

struct SDL_Window;

namespace q {

// In screen coordinates (which X, unlike some desktops, counts in pixels).
void realWindowSize(SDL_Window* window, int* width, int* height);

}  // namespace q
