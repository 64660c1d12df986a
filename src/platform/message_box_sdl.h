#pragma once
// The modal box a report is shown in.

#include <string>

struct SDL_Window;

namespace q {

// A box with the text and one OK button that Return and Escape answer as well
// as a click; returns when it is answered. Over the viewer's window when there
// is one (parent may be null): the box opens centred on it, with the mouse
// over the box, and on X the keyboard follows the mouse there, so that Return
// and Escape reach the box even where no window manager hands it the focus;
// once answered, the keyboard goes back to the window if it had it.
// Without a display the box cannot appear (the report's stderr line stays).
// The text is wrapped to a width the screen holds: a box as wide as a long
// line, centred on the window, would start off the screen's left edge.
void showMessageBoxOver(SDL_Window* parent, const char* text, const char* caption);

// text with each line broken at spaces into lines of at most columns
// characters (UTF-8 sequences kept whole); a word longer than a line is cut.
std::string wrapText(const char* text, int columns);

}  // namespace q
