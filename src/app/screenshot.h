#pragma once
// Pictures of the back buffer as PNG files: the one --screenshot asks for at
// the end of a run, and the ones F12 takes while it runs.

#include <ctime>
#include <string>

namespace q {

class GraphicsDevice;

// False with a message naming the file when it cannot be read back or written.
bool writeScreenshot(GraphicsDevice& graphics, const std::string& path, std::string* error);

// directory/quorvane-YYYYMMDD-HHMMSS.png for the given local time; when a file
// of that name is there already (two in one second), -2, -3 ... goes before
// .png, so no earlier picture is overwritten. An empty directory means the
// working directory.
std::string newScreenshotPath(const std::string& directory, const std::tm& localTime);

}  // namespace q
