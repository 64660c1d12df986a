#pragma once
// ASE: the text scene dump an exporter writes. Read: the material list (each
// material's name and diffuse bitmap, and its sub-materials, which a face picks
// by its material id), and every geometry object's mesh: vertices, faces,
// texture vertices and faces, and the normals where given. Everything else is
// skipped by its braces.
//
// The format's axes are the map's own (z up, right-handed) and its faces are
// wound as the map's surfaces are, so positions and winding are kept; its
// texture v runs up the image, so t = 1 - v.

#include <string>
#include <string_view>

#include "map/mesh_model.h"

namespace q {

// Fills *model from the text of a file called name (for messages). False with
// "name:line: expected ..." in *error when the file does not read; faults that
// cost only some faces go to model->warnings.
bool readAseModel(std::string_view text, const std::string& name, MeshModel* model, std::string* error);

// The same for a file on disk, mapped rather than copied.
bool readAseFile(const char* path, MeshModel* model, std::string* error);

}  // namespace q
