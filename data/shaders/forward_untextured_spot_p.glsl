// forward_untextured_spot: the pixel stage of a forward program: a mesh of one palette colour
// lit by its light probes and, per pixel, by the shadow light, a
// spot light, through the shadow map.
// The output goes to the light target; its alpha is the mesh's window depth
// 1 / (y + 1) (above 0 where a mesh is), which the resolve compares with the
// virtual depth of the background. A negative colour (the material's
// negate flag) shows the surface unlit.
#version 330 core
layout(std140, row_major) uniform PSConstants {
  mat4 WorldToLocal;
  vec4 Light_InnerColor_InnerRadius;
  vec4 Light_OuterColor_FalloffPower;
  vec4 Light_Position_InvDelta;
  vec4 Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User;
  vec4 Light_ShadingBias_ShadingInvDelta;
  mat4 WorldToShadowMap;
  vec4 Shadow_Bias_Softness_Quality_Enabled;
} psc;
uniform sampler2D ps_Texture1;  // the shadow map
in vec2 ps_TexCoord;
in vec3 ps_WorldPosition;
in vec3 ps_WorldNormal;
in vec3 ps_Irradiance;
flat in vec3 ps_Colour;
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
// A spot light: its unit box in local space, the apex at (0, 0, 1) shining
// towards -z; full inside the inner radius of the 22.5-degree cone, falling
// off to its edge and towards the box's bottom; shaded by the surface's
// facing of the apex.
vec3 SpotLight(vec3 world, vec3 n) {
  vec3 l = (vec4(world, 1.0) * psc.WorldToLocal).xyz;
  if (any(greaterThan(abs(l), vec3(1.0)))) return vec3(0.0);
  vec4 inner = psc.Light_InnerColor_InnerRadius;
  vec4 outer = psc.Light_OuterColor_FalloffPower;
  vec4 vertical = psc.Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User;
  vec4 shading = psc.Light_ShadingBias_ShadingInvDelta;
  vec3 q = SafeNormalize(vec3(l.xy, l.z - 1.0));
  float a = 1.0 - clamp((-0.92387953251 - q.z) * 13.13707118432, 0.0, 1.0);
  float f1 = Ramp(a, inner.w, psc.Light_Position_InvDelta.w, outer.w);
  float f2 = Ramp(clamp((1.0 - l.z) * 0.5, 0.0, 1.0), vertical.x, vertical.z, vertical.y);
  float atten = (1.0 - f1) * (1.0 - f2);
  vec3 ln = SafeNormalize((vec4(n, 0.0) * psc.WorldToLocal).xyz);
  float s = clamp((-dot(ln, q) - shading.x) * shading.y, 0.0, 1.0);
  return mix(inner.rgb, outer.rgb, atten) * (s * atten);
}
// The fraction of the shadow light reaching a world point: its depth seen
// from the light against the shadow map's first channel, less the bias; a
// quality above 0 averages 3 x 3 samples spread by the softness (in texture
// units).
float Shadow(vec3 world) {
  vec4 p = vec4(world, 1.0) * psc.WorldToShadowMap;
  if (psc.Shadow_Bias_Softness_Quality_Enabled.w < 0.5) return 1.0;
  if (p.w <= 0.0) return 1.0;
  vec3 s = p.xyz / p.w;
  vec4 settings = psc.Shadow_Bias_Softness_Quality_Enabled;
  // Quality 0: one sample; above 0: 3 x 3 samples spread by the softness
  // (a loop of fixed bounds, which the compiler unrolls).
  if (settings.z <= 0.5) return s.z - settings.x <= texture(ps_Texture1, s.xy).r ? 1.0 : 0.0;
  float lit = 0.0;
  for (int y = -1; y <= 1; ++y) {
    for (int x = -1; x <= 1; ++x) {
      float stored = texture(ps_Texture1, s.xy + vec2(x, y) * settings.y).r;
      lit += s.z - settings.x <= stored ? 1.0 : 0.0;
    }
  }
  return lit / 9.0;
}
void main() {
  vec3 base = abs(ps_Colour);
  if (ps_Colour.r < 0.0) {
    fragColour = vec4(base, gl_FragCoord.z);
    return;
  }
  vec3 n = SafeNormalize(ps_WorldNormal);
  vec3 direct = SpotLight(ps_WorldPosition, n) * Shadow(ps_WorldPosition);
  fragColour = vec4(base * (ps_Irradiance + direct), gl_FragCoord.z);
}
