// untextured_lit: a mesh of one palette colour into the G-buffer. A
// negative colour (the material's negate flag) is shown unlit with its
// magnitude.
// G-buffer encoding (every deferred shader reads it this way):
//   albedo   (8x4)  rgb the surface colour, a where a mesh was drawn: 1
//                   for lit surfaces, 0.75 for unlit ones (at least one
//                   half is a mesh; the resolve reads the lit flag here,
//                   one texture fewer than the normal's);
//   distance (Fx1)  the camera depth y of the surface;
//   normal   (8x4)  rgb the world normal x 0.5 + 0.5, a 1 for lit surfaces
//                   and 0 for unlit ones (a negative colour marks them);
//   light    (F16x4) cleared here; the lights pass sums light into it.
#version 330 core
in vec3 ps_Normal;
in float ps_Depth;
flat in vec3 ps_Colour;
layout(location = 0) out vec4 albedo;
layout(location = 1) out vec4 distance;
layout(location = 2) out vec4 normal;
layout(location = 3) out vec4 light;
vec3 SafeNormalize(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : vec3(0.0, 0.0, 1.0);
}
void main() {
  bool lit = ps_Colour.r >= 0.0;
  albedo = vec4(abs(ps_Colour), lit ? 1.0 : 0.75);
  distance = vec4(ps_Depth);
  normal = vec4(SafeNormalize(ps_Normal) * 0.5 + 0.5, lit ? 1.0 : 0.0);
  light = vec4(0.0);
}
