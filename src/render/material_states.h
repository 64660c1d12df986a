#pragma once
// The device states a material's surfaces are drawn with: its alpha test and
// its blending. Kept in this one place so that they can become part of a
// pipeline's description without the map or the render pass changing.

namespace q {

namespace gpu {
class Device;
}  // namespace gpu

// How a material's drawn stage mixes with what is behind it.
enum class MaterialBlend : unsigned char {
    Opaque,  // writes its colour and depth
    Blend,   // source alpha over what is there
    Add,     // adds its colour
    Filter,  // multiplies what is there by its colour
};

// Which surfaces a draw takes: the opaque ones (alpha-tested ones among them)
// first, then, after every opaque surface of the frame, the blended ones.
enum class SurfacePass : unsigned char { Opaque, Blended };

inline SurfacePass passOf(MaterialBlend blend) {
    return blend == MaterialBlend::Opaque ? SurfacePass::Opaque : SurfacePass::Blended;
}

// Sets what a surface of this look needs: texels whose alpha is below
// alphaTest (0 to 1; 0: none) are not drawn; a blended surface is mixed as its
// blend says and leaves the depth buffer as it is.
void setMaterialStates(gpu::Device& device, MaterialBlend blend, float alphaTest);
// Back to what every other draw expects: opaque, no alpha test, depth written.
void resetMaterialStates(gpu::Device& device);

}  // namespace q
