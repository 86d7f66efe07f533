// smooth_lighting_resolve: writes the normal target from the copied normals
// (texture 2) and the smoothing data (texture 0, summed (normal x w, w)):
// the data of the pixel and its four neighbours (TexelSize apart) is
// added up, and where it has weight over a mesh the stored normal moves half
// way towards it. Texture 1 is the albedo (a 1 where a mesh is).
#version 330 core
layout(std140) uniform PSConstants {
  vec2 TexelSize;
} psc;
uniform sampler2D ps_Texture0;
uniform sampler2D ps_Texture1;
uniform sampler2D ps_Texture2;
in vec2 ps_TexCoord;
out vec4 fragColour;
vec3 SafeNormalize(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : vec3(0.0, 0.0, 1.0);
}
void main() {
  vec4 copied = texture(ps_Texture2, ps_TexCoord);
  vec4 data = texture(ps_Texture0, ps_TexCoord);
  data += texture(ps_Texture0, ps_TexCoord + vec2(psc.TexelSize.x, 0.0));
  data += texture(ps_Texture0, ps_TexCoord - vec2(psc.TexelSize.x, 0.0));
  data += texture(ps_Texture0, ps_TexCoord + vec2(0.0, psc.TexelSize.y));
  data += texture(ps_Texture0, ps_TexCoord - vec2(0.0, psc.TexelSize.y));
  if (data.a <= 0.0 || texture(ps_Texture1, ps_TexCoord).a < 0.5) {
    fragColour = copied;
    return;
  }
  vec3 smoothed = SafeNormalize(data.rgb / data.a);
  vec3 n = SafeNormalize(mix(copied.rgb * 2.0 - 1.0, smoothed, 0.5));
  fragColour = vec4(n * 0.5 + 0.5, copied.a);
}
