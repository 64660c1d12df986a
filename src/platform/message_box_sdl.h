#pragma once
// The modal box a report is shown in.

struct SDL_Window;

namespace q {

// A box with the text and one OK button that Return and Escape answer as well
// as a click; returns when it is answered. Over the viewer's window when there
// is one (parent may be null): the box opens centred on it, with the mouse
// over the box, and on X the keyboard follows the mouse there, so that Return
// and Escape reach the box even where no window manager hands it the focus;
// once answered, the keyboard goes back to the window if it had it.
// Without a display the box cannot appear (the report's stderr line stays).
void showMessageBoxOver(SDL_Window* parent, const char* text, const char* caption);

}  // namespace q
