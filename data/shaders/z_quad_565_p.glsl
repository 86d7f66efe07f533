// z_quad_565: a classic 16-bit depth raster (a single-channel "U16x1"
// surface: GL reads value / 65535) into the virtual depth target. The raw
// value is compared with ColorKey: a keyed pixel becomes -9999 (no depth),
// as the CPU conversion of depth pixels gives.
#version 330 core
layout(std140) uniform PSConstants {
  vec4 MultiplyColor;
  vec4 TexelSizeDesaturateGamma;
  uint ColorKey;
} psc;
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
out vec4 fragColour;
void main() {
  float d = texture(ps_Texture0, ps_TexCoord).r;
  uint raw = uint(round(clamp(d, 0.0, 1.0) * 65535.0));
  fragColour = vec4(raw == psc.ColorKey ? -9999.0 : d);
}
