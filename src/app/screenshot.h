#pragma once
// Pictures of the back buffer as PNG files: the one --screenshot asks for at
// the end of a run, and the ones F12 takes while it runs.

#include <ctime>
#include <string>

namespace q {

class GraphicsDevice;
class OutputFile;

// False with a message naming the file when it cannot be read back or written;
// what path named is then left as it was. The comment (the camera's place)
// goes into the picture as a text chunk.
bool writeScreenshot(GraphicsDevice& graphics, const std::string& path, std::string* error,
                     const char* comment = nullptr);
// Into an output file opened before the run (its caller commits it); name
// stands for it in messages.
bool writeScreenshot(GraphicsDevice& graphics, OutputFile& file, const std::string& name, std::string* error,
                     const char* comment = nullptr);

// directory/quorvane-YYYYMMDD-HHMMSS.png for the given local time; when a file
// of that name is there already (two in one second), -2, -3 ... goes before
// .png, so no earlier picture is overwritten. An empty directory means the
// working directory.
std::string newScreenshotPath(const std::string& directory, const std::tm& localTime);

}  // namespace q
