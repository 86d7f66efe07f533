// Text: the atlas holds glyph coverage in one channel. The glyph is drawn in
// TextColor over a drop shadow in ShadowColor, two pixels down and to the
// right (the quads reach two texels past each glyph, so the shadow fits).
// Both colours arrive premultiplied; so is the result.
#version 330 core
layout(std140) uniform PSConstants {
  vec4 TextColor;
  vec4 ShadowColor;
  vec2 Origin;
  vec2 PixelSize;
  vec2 TexelSize;
} psc;
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
out vec4 fragColour;
void main() {
  float glyph = texture(ps_Texture0, ps_TexCoord).r;
  float shadow = texture(ps_Texture0, ps_TexCoord - 2.0 * psc.TexelSize).r;
  vec4 colour = psc.TextColor * glyph;
  fragColour = colour + psc.ShadowColor * shadow * (1.0 - colour.a);
}
