// deferred_char_ao: an actor's ambient occlusion on the environment: where
// no mesh is, the background's point (from the virtual depth) inside the
// actor's box adds 1 - its distance from the box's centre (in box units) to
// the light target's alpha (the pass writes alpha only, additively).
// G-buffer textures: 0 albedo (a 1 where a mesh is), 1 distance (camera
// depth), 2 normal (world normal x 0.5 + 0.5, a 1 for lit surfaces),
// 3 light, 4 virtual depth (1 / (y + 1) of the background, -9999 or 0 for
// none), 5 shadow map, 6 the immediate target (the background).
#version 330 core
layout(std140, row_major) uniform PSConstants {
  vec4 ViewDistance;
  mat4 WorldToLocal;
  mat4 CameraToWorld;
} psc;
uniform sampler2D ps_Texture0;  // albedo
uniform sampler2D ps_Texture4;  // virtual depth
in vec4 ps_Clip;
out vec4 fragColour;
// The world point seen at a pixel (ndc) at camera depth y.
vec3 WorldAt(vec2 ndc, float y) {
  float focal = max(psc.ViewDistance.x, 1e-6);
  vec3 c = vec3(ndc.x * 320.0 / focal * y, y, ndc.y * 240.0 / focal * y);
  return (vec4(c, 1.0) * psc.CameraToWorld).xyz;
}
void main() {
  vec2 ndc = ps_Clip.xy / ps_Clip.w;
  vec2 uv = ndc * 0.5 + 0.5;
  if (texture(ps_Texture0, uv).a >= 0.5) discard;
  float d = texture(ps_Texture4, uv).r;
  if (d <= 0.0) discard;
  vec3 l = (vec4(WorldAt(ndc, 1.0 / d - 1.0), 1.0) * psc.WorldToLocal).xyz;
  fragColour = vec4(0.0, 0.0, 0.0, clamp(1.0 - length(l), 0.0, 1.0));
}
