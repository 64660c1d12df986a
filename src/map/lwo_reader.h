#pragma once
// LWO2: the binary object format of IFF chunks (FORM size "LWO2", then
// chunks of a four-letter id, a big-endian size and the data, padded to an
// even length). Read: the tags (surface names), each layer's points and
// polygons of type FACE (fanned into triangles), which surface each polygon
// shows (PTAG SURF), texture coordinates (VMAP and per-polygon VMAD of type
// TXUV), and each surface's colour image (its BLOK's IMAP, by the IMAG clip
// index, to the CLIP's STIL path). Everything else is skipped by its size.
// The older LWOB form is refused by name.
//
// The format is y up and left-handed, its polygons clockwise seen from the
// side they face. Read into the map's axes (z up, right-handed) as
// (x, y, z) -> (x, z, y); that mirror keeps what each polygon looks like from
// where it is seen, so each triangle's corners are reversed to the map's
// winding. Texture v runs up the image, so t = 1 - v.

#include <string>
#include <string_view>

#include "map/mesh_model.h"

namespace q {

// Fills *model from the bytes of a file called name (for messages). False
// with "name: chunk X at byte N: expected ..." in *error when the file does
// not read; faults that cost only some polygons go to model->warnings.
bool readLwoModel(std::string_view bytes, const std::string& name, MeshModel* model, std::string* error);

// The same for a file on disk, mapped rather than copied.
bool readLwoFile(const char* path, MeshModel* model, std::string* error);

}  // namespace q
