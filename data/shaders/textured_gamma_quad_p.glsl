// Presented frame: the texel desaturated towards its luminance (Rec. 601
// weights) by TexelSizeDesaturateGamma.z, raised to 1 / gamma
// (TexelSizeDesaturateGamma.w; 1 leaves it unchanged), times MultiplyColor.
// Colours are premultiplied: gamma applies to the colour without its alpha.
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
  vec4 texel = texture(ps_Texture0, ps_TexCoord);
  float grey = dot(texel.rgb, vec3(0.299, 0.587, 0.114));
  vec3 colour = mix(texel.rgb, vec3(grey), psc.TexelSizeDesaturateGamma.z);
  float gamma = psc.TexelSizeDesaturateGamma.w;
  if (gamma > 0.0 && gamma != 1.0 && texel.a > 0.0) {
    colour = pow(colour / texel.a, vec3(1.0 / gamma)) * texel.a;
  }
  fragColour = vec4(colour, texel.a) * psc.MultiplyColor;
}
