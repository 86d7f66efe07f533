// deferred_light_direct: a cutscene directional light added into the light
// target over lit mesh pixels: its colour times the surface's facing of the
// light (the normal against the reversed direction).
#version 330 core
layout(std140) uniform PSConstants {
  vec4 LightSettings;
  vec4 LightColor;
  vec4 LightDirection;
} psc;
uniform sampler2D ps_Texture0;  // albedo
uniform sampler2D ps_Texture2;  // normal
in vec2 ps_TexCoord;
out vec4 fragColour;
vec3 SafeNormalize(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : vec3(0.0, 0.0, 1.0);
}
// The world normal of a lit mesh pixel; false where there is none.
bool SurfaceNormal(out vec3 n) {
  n = vec3(0.0, 0.0, 1.0);
  if (texture(ps_Texture0, ps_TexCoord).a < 0.5) return false;
  vec4 normal = texture(ps_Texture2, ps_TexCoord);
  if (normal.a < 0.5) return false;
  n = SafeNormalize(normal.rgb * 2.0 - 1.0);
  return true;
}
void main() {
  vec3 n;
  if (!SurfaceNormal(n)) discard;
  float facing = max(dot(n, -SafeNormalize(psc.LightDirection.xyz)), 0.0);
  fragColour = vec4(psc.LightColor.rgb * facing, 0.0);
}
