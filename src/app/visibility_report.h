#pragma once
// --report FILE.json or FILE.html: the visibility survey of a map
// (app/visibility_survey.h) written for scripts, or as a page with its plan
// (app/report_page.h), made without a window or a graphics device.

#include <cstdio>
#include <string>

namespace q {

struct VisibilitySurvey;

// Eyes sampled at most per area: a few hundred on a map of some thirty areas.
constexpr size_t kReportEyesPerArea = 8;

// Reads <mapBase>.proc and <mapBase>.cm from the working directory (and
// <mapBase>.map beside them unless useMapSource is false), surveys it with
// eyes eyeHeight above its floors and writes the report as one JSON object to
// out, or, asPage, the page holding it. Progress goes to stderr. Returns the exit code: 0, or 1 with the load
// error in *error.
int writeVisibilityReport(const std::string& mapBase, float eyeHeight, bool useMapSource, bool asPage,
                          std::FILE* out, std::string* error);

// The report's JSON for a survey of a map of that name, which took `seconds`.
std::string visibilityReportJson(const std::string& mapBase, const VisibilitySurvey& survey, double seconds);

}  // namespace q
