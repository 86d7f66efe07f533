// deferred_light: up to 16 lights added in one pass over lit mesh pixels.
// GlobalLightSettings.x is the number of lights; per light, the type in
// LightPositionsAndTypes.w (0 directional), the colour in rgb and the
// intensity in a of LightColorsAndIntensities, the direction in
// LightDirections.
// The cutscene lights' blocks carry no camera, so a pixel's world position
// is not known here: a directional light adds its colour x intensity
// times the surface's facing of it, any other light half its colour x
// intensity.
#version 330 core
layout(std140) uniform PSConstants {
  uvec4 GlobalLightSettings;
  vec4 LightPositionsAndTypes[16];
  vec4 LightColorsAndIntensities[16];
  vec4 LightDirections[16];
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
  int count = int(min(psc.GlobalLightSettings.x, 16u));
  vec3 sum = vec3(0.0);
  for (int i = 0; i < count; ++i) {
    vec4 colour = psc.LightColorsAndIntensities[i];
    float facing = 0.5;
    if (psc.LightPositionsAndTypes[i].w == 0.0) {
      facing = max(dot(n, -SafeNormalize(psc.LightDirections[i].xyz)), 0.0);
    }
    sum += colour.rgb * colour.a * facing;
  }
  fragColour = vec4(sum, 0.0);
}
