#pragma once
// How a material's surfaces are drawn, as its definition says: the image it
// shows, how its colour mixes with what is behind it and its alpha test.

#include <string>

namespace q {

// How a material's drawn stage mixes with what is behind it.
enum class MaterialBlend : unsigned char {
    Opaque,  // writes its colour and depth
    Blend,   // source alpha over what is there
    Add,     // adds its colour
    Filter,  // multiplies what is there by its colour
};

// What a surface of the material shows: the image path (as the definition
// names it: with or without an extension) and how it is drawn.
struct MaterialLook {
    std::string image;  // empty: the definition names none
    MaterialBlend blend = MaterialBlend::Opaque;
    float alphaTest = 0.0f;  // texels with alpha below it are not drawn; 0: none
};

}  // namespace q
