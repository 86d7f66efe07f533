// Textured quad: the (premultiplied) texel times MultiplyColor.
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
  fragColour = texture(ps_Texture0, ps_TexCoord) * psc.MultiplyColor;
}
