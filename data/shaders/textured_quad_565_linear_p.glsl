// textured_quad_565_linear: a classic 16-bit picture (5-6-5 pixels in a
// "U16x1" surface, sampled nearest) filtered here: the four texels around
// the sample point are keyed first (ColorKey: transparent black, else
// opaque) and then blended bilinearly, so keyed texels never bleed their
// colour into the edges. Times MultiplyColor (premultiplied alpha).
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
vec4 Texel(vec2 uv) {
  vec3 c = texture(ps_Texture0, uv).rgb;
  return Raw565(c) == psc.ColorKey ? vec4(0.0) : vec4(c, 1.0);
}
void main() {
  vec2 size = vec2(textureSize(ps_Texture0, 0));
  vec2 p = ps_TexCoord * size - 0.5;
  vec2 base = floor(p);
  vec2 f = p - base;
  vec2 t0 = (base + 0.5) / size;
  vec2 t1 = (base + 1.5) / size;
  vec4 top = mix(Texel(t0), Texel(vec2(t1.x, t0.y)), f.x);
  vec4 bottom = mix(Texel(vec2(t0.x, t1.y)), Texel(t1), f.x);
  fragColour = mix(top, bottom, f.y) * psc.MultiplyColor;
}
