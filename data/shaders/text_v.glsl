// Text: glyph quads in back-buffer pixels relative to the text's origin,
// turned into clip space with PixelSize (2 / width, -2 / height).
#version 330 core
layout(std140) uniform VSConstants {
  vec4 TextColor;
  vec4 ShadowColor;
  vec2 Origin;
  vec2 PixelSize;
  vec2 TexelSize;
} vsc;
in vec3 vs_PositionPx;
in vec2 vs_TexCoord;
out vec2 ps_TexCoord;
void main() {
  ps_TexCoord = vs_TexCoord;
  vec2 clip = (vs_PositionPx.xy + vsc.Origin) * vsc.PixelSize + vec2(-1.0, 1.0);
  gl_Position = vec4(clip, vs_PositionPx.z, 1.0);
}
