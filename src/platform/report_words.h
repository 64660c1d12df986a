#pragma once
// The viewer's own words for the problems it reports (platform/report.h). They
// read as they always have, terse and in two languages: the output is searched
// for them. Here each has a name and a line on when it shows.

namespace q {

// The caption of a failed device call (the lighting program was refused),
// which uses it as its text too, the detail saying which call; and of a
// slanted portal.
inline constexpr char kFailCaption[] = "ff";

// A portal read from the map whose plane lines up with no axis (each normal
// component non-zero beyond rounding); it is still used as read.
inline constexpr char kSlantedPortalText[] = "zop";

// An area's portal list names a portal that does not join that area; the flow
// skips it. Text and caption.
inline constexpr char kStrayPortalText[] = "portal不对砚竹";
inline constexpr char kStrayPortalCaption[] = "eror";

// The camera's point lies in the solid space of a map copy: "I am inside the
// wall". Caption: error.
inline constexpr char kInsideWallText[] = "我在墙里!";
inline constexpr char kInsideWallCaption[] = "error";

}  // namespace q
