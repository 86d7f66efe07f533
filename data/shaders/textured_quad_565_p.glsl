// textured_quad_565: a classic 16-bit picture (a "U16x1" surface of 5-6-5
// pixels, red in the top bits) drawn as a quad. GL expands the pixels to
// red, green and blue (each field over its full range); the raw value is
// rebuilt and compared with ColorKey (0xFFFFFFFF keys nothing). A keyed
// texel is transparent black, any other opaque; the result is multiplied by
// MultiplyColor (premultiplied alpha). The gamma is not applied here.
#version 330 core
layout(std140) uniform PSConstants {
  vec4 MultiplyColor;
  vec4 TexelSizeDesaturateGamma;
  uint ColorKey;
} psc;
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
out vec4 fragColour;
// The raw 5-6-5 value of a texel that GL expanded to red, green and blue.
uint Raw565(vec3 c) {
  uvec3 v = uvec3(round(clamp(c, 0.0, 1.0) * vec3(31.0, 63.0, 31.0)));
  return (v.r << 11) | (v.g << 5) | v.b;
}
void main() {
  vec3 c = texture(ps_Texture0, ps_TexCoord).rgb;
  vec4 texel = Raw565(c) == psc.ColorKey ? vec4(0.0) : vec4(c, 1.0);
  fragColour = texel * psc.MultiplyColor;
}
