// deferred_light_omni: a cutscene omni light added into the light target over
// lit mesh pixels.
// The cutscene lights' blocks carry no camera, so a pixel's world position
// is not known here: the light adds half its colour to every lit
// mesh pixel it is drawn over (the pass draws it only when it reaches an
// actor).
#version 330 core
layout(std140) uniform PSConstants {
  vec4 LightSettings;
  vec4 LightColor;
  vec4 LightPosition;
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
  fragColour = vec4(psc.LightColor.rgb * 0.5, 0.0);
}
