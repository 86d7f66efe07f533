// deferred_char_light_spot_shadow: a spot light added into the light target
// (blended additively) over the lit mesh pixels it covers.
// The light is shadowed through the shadow map rendered for it.
// G-buffer textures: 0 albedo (a 1 where a mesh is), 1 distance (camera
// depth), 2 normal (world normal x 0.5 + 0.5, a 1 for lit surfaces),
// 3 light, 4 virtual depth (1 / (y + 1) of the background, -9999 or 0 for
// none), 5 shadow map, 6 the immediate target (the background).
#version 330 core
layout(std140, row_major) uniform PSConstants {
  mat4 WorldToLocal;
  vec4 Light_InnerColor_InnerRadius;
  vec4 Light_OuterColor_FalloffPower;
  vec4 Light_Position_InvDelta;
  vec4 Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User;
  vec4 Light_ShadingBias_ShadingInvDelta;
  mat4 WorldToShadowMap;
  vec4 Shadow_Bias_Softness_Quality;
  mat4 CameraToWorld;
  vec4 ViewDistance;
} psc;
uniform sampler2D ps_Texture0;  // albedo
uniform sampler2D ps_Texture1;  // distance
uniform sampler2D ps_Texture2;  // normal
uniform sampler2D ps_Texture4;  // virtual depth
uniform sampler2D ps_Texture5;  // shadow map
in vec4 ps_Clip;
out vec4 fragColour;
vec3 SafeNormalize(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : vec3(0.0, 0.0, 1.0);
}
// clamp(pow(clamp((v - r) x inverse), power)), with pow(0, p) taken as 0
// for p > 0 and 1 otherwise.
float Ramp(float v, float r, float inverse, float power) {
  float b = clamp((v - r) * inverse, 0.0, 1.0);
  if (b <= 0.0) return power > 0.0 ? 0.0 : 1.0;
  return clamp(pow(b, power), 0.0, 1.0);
}
// The world point seen at a pixel (ndc) at camera depth y.
vec3 WorldAt(vec2 ndc, float y) {
  float focal = max(psc.ViewDistance.x, 1e-6);
  vec3 c = vec3(ndc.x * 320.0 / focal * y, y, ndc.y * 240.0 / focal * y);
  return (vec4(c, 1.0) * psc.CameraToWorld).xyz;
}
vec3 Local(vec3 world) {
  return (vec4(world, 1.0) * psc.WorldToLocal).xyz;
}
bool InBox(vec3 l) {
  return all(lessThanEqual(abs(l), vec3(1.0)));
}
float VerticalFalloff(float z) {
  vec4 v = psc.Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User;
  return Ramp(clamp((1.0 - z) * 0.5, 0.0, 1.0), v.x, v.z, v.y);
}
float Shading(float facing) {
  vec4 s = psc.Light_ShadingBias_ShadingInvDelta;
  return clamp((facing - s.x) * s.y, 0.0, 1.0);
}
// A spot light: inside its unit box, the apex at (0, 0, 1) shining towards
// -z; full inside the inner radius of the 22.5-degree cone, falling off to
// its edge and towards the bottom; shaded by the surface's facing of the apex.
vec3 LightAt(vec3 world, vec3 n, out float atten) {
  vec3 l = Local(world);
  atten = 0.0;
  if (!InBox(l)) return vec3(0.0);
  vec4 inner = psc.Light_InnerColor_InnerRadius;
  vec4 outer = psc.Light_OuterColor_FalloffPower;
  vec3 q = SafeNormalize(vec3(l.xy, l.z - 1.0));
  float a = 1.0 - clamp((-0.92387953251 - q.z) * 13.13707118432, 0.0, 1.0);
  float f1 = Ramp(a, inner.w, psc.Light_Position_InvDelta.w, outer.w);
  atten = (1.0 - f1) * (1.0 - VerticalFalloff(l.z));
  vec3 ln = SafeNormalize((vec4(n, 0.0) * psc.WorldToLocal).xyz);
  return mix(inner.rgb, outer.rgb, atten) * (Shading(-dot(ln, q)) * atten);
}
// The fraction of the light reaching a world point: its depth seen from the
// light (WorldToShadowMap) against the shadow map's first channel, less the
// bias; a quality above 0 averages 3 x 3 samples spread by the softness (in
// texture units).
float Shadow(vec3 world) {
  vec4 p = vec4(world, 1.0) * psc.WorldToShadowMap;
  if (p.w <= 0.0) return 1.0;
  vec3 s = p.xyz / p.w;
  vec4 settings = psc.Shadow_Bias_Softness_Quality;
  // Quality 0: one sample; above 0: 3 x 3 samples spread by the softness
  // (a loop of fixed bounds, which the compiler unrolls).
  if (settings.z <= 0.5) return s.z - settings.x <= texture(ps_Texture5, s.xy).r ? 1.0 : 0.0;
  float lit = 0.0;
  for (int y = -1; y <= 1; ++y) {
    for (int x = -1; x <= 1; ++x) {
      float stored = texture(ps_Texture5, s.xy + vec2(x, y) * settings.y).r;
      lit += s.z - settings.x <= stored ? 1.0 : 0.0;
    }
  }
  return lit / 9.0;
}
void main() {
  vec2 ndc = ps_Clip.xy / ps_Clip.w;
  vec2 uv = ndc * 0.5 + 0.5;
  bool mesh = texture(ps_Texture0, uv).a >= 0.5;
  if (!mesh) discard;
  vec4 normal = texture(ps_Texture2, uv);
  if (normal.a < 0.5) discard;
  vec3 world = WorldAt(ndc, texture(ps_Texture1, uv).r);
  float atten;
  vec3 light = LightAt(world, SafeNormalize(normal.rgb * 2.0 - 1.0), atten);
  if (atten <= 0.0) discard;  // outside the light: no shadow to look up
  fragColour = vec4(light * Shadow(world), 0.0);
}
