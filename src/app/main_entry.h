#pragma once

namespace q {

// Parses the command line, starts the viewer and returns the process exit code.
int runViewer(int argc, char** argv);

}  // namespace q
