#pragma once
// The OpenGL 3.3 core entry points, linked directly from libOpenGL: every core
// function is exported there, so no loader is needed.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
