#pragma once
// How big a window really is. On X, SDL takes a full-screen window to be the
// screen's size as soon as it asks, and a window that leaves full screen to be
// the size it was made with; without a window manager to honour the requests
// the window keeps the size it has. So there the server is asked.

struct SDL_Window;

namespace q {

// In screen coordinates (which X, unlike some desktops, counts in pixels).
void realWindowSize(SDL_Window* window, int* width, int* height);

// The size in pixels of what a window shows, as it really is: a full-screen
// request that the desktop did not honour leaves the window its own size.
void windowPixelSize(SDL_Window* window, int* width, int* height);

// On X, a request about a window that has just gone (a window manager's frame
// dropped when leaving full screen, a message box closed) draws an error whose
// default handling ends the process. Such errors are named on stderr and the
// viewer goes on. A no-op elsewhere.
void tolerateVanishedWindows();

}  // namespace q
