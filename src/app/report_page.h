#pragma once
// --report FILE.html: the visibility report as one page that needs nothing
// else (no network, no other file): the report's JSON embedded, and a script
// that draws from it the map's plan seen from above, coloured by what each
// area draws, with a panel for the area clicked and sortable tables below.

#include <string>

namespace q {

// The page holding `json` (the report as visibilityReportJson writes it).
// Opened as page.html#click=N, it shows area N as if clicked.
std::string visibilityReportPage(const std::string& json);

}  // namespace q
