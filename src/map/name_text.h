#pragma once
// In-place clean-up of the model and material names read from map files.

namespace q {

// Removes leading blanks and tabs, then trailing blanks, tabs and newlines.
char* trimBlanks(char* text);
// Removes all leading, then all trailing double quotes: "textures/a" -> textures/a.
char* stripQuotes(char* text);

}  // namespace q
