// deferred_char_resolve_shadows: composes the forward path's frame. The
// light target holds the forward-lit meshes (alpha their window depth
// 1 / (y + 1), above 0 where a mesh is), shown as they are unless the
// background's virtual depth is nearer. Elsewhere the background (the immediate target) shows,
// occluded by the shadow light's shadow where its point (from the virtual
// depth) lies in the light's box and the shadow is enabled, plus AoStrength
// x (1 - the distance to the first flagged actor, in set units); the
// occlusion goes through the resolve point's luminance curve and shadow
// colours. The iris masks the whole picture.
// G-buffer textures: 0 albedo (a 1 where a mesh is), 1 distance (camera
// depth), 2 normal (world normal x 0.5 + 0.5, a 1 for lit surfaces),
// 3 light, 4 virtual depth (1 / (y + 1) of the background, -9999 or 0 for
// none), 5 shadow map, 6 the immediate target (the background).
#version 330 core
layout(std140, row_major) uniform PSConstants {
  vec4 EnvShadow_MinLuminance_InvDeltaLuminance_Power;
  vec4 Shadow_Black_AoStrength;
  vec4 Shadow_White_LightType;
  vec4 Iris_Center_Size;
  mat4 CameraToWorld;
  vec4 AoWorldSpacePosition_ViewDistance;
  mat4 WorldToLocal;
  vec4 Light_InnerColor_InnerRadius;
  vec4 Light_OuterColor_FalloffPower;
  vec4 Light_Position_InvDelta;
  vec4 Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User;
  vec4 Light_ShadingBias_ShadingInvDelta;
  mat4 WorldToShadowMap;
  vec4 Shadow_Bias_Softness_Quality_Enabled;
} psc;
uniform sampler2D ps_Texture3;  // light: the forward-lit meshes
uniform sampler2D ps_Texture4;  // virtual depth
uniform sampler2D ps_Texture5;  // shadow map
uniform sampler2D ps_Texture6;  // the background
in vec2 ps_TexCoord;
out vec4 fragColour;
float Luminance(vec3 c) {
  return dot(c, vec3(0.299, 0.587, 0.114));
}
// The iris: the picture shows inside a circle of 480 / s pixels (of the
// 640 x 480 frame) around the iris centre, black outside; fully open, s is
// about 0.00001 and the circle covers everything.
float Iris(vec2 uv) {
  vec4 iris = psc.Iris_Center_Size;
  return length((uv - iris.xy) * iris.zw) <= 1.0 ? 1.0 : 0.0;
}
// The background under an occlusion amount (0 none, 1 full): how much of it
// shows depends on the background's luminance between the resolve point's
// minimum and maximum, raised to its power (shadows show less on dark
// ground); the background is then tinted from shadow white to shadow black.
vec3 Environment(vec3 background, float occlusion) {
  vec4 env = psc.EnvShadow_MinLuminance_InvDeltaLuminance_Power;
  float b = clamp((Luminance(background) - env.x) * env.y, 0.0, 1.0);
  float k = b <= 0.0 ? (env.z > 0.0 ? 0.0 : 1.0) : clamp(pow(b, env.z), 0.0, 1.0);
  float amount = clamp(occlusion, 0.0, 1.0) * k;
  return background * mix(psc.Shadow_White_LightType.rgb, psc.Shadow_Black_AoStrength.rgb, amount);
}
// The world point seen at a pixel (ndc) at camera depth y.
vec3 WorldAt(vec2 ndc, float y) {
  float focal = max(psc.AoWorldSpacePosition_ViewDistance.w, 1e-6);
  vec3 c = vec3(ndc.x * 320.0 / focal * y, y, ndc.y * 240.0 / focal * y);
  return (vec4(c, 1.0) * psc.CameraToWorld).xyz;
}
// The shadow light's shadow at a world point: 1 where the shadow map holds a
// nearer caster (with the bias), else 0; 3 x 3 samples spread by the
// softness when the quality is above 0.
float Occlusion(vec3 world) {
  vec4 settings = psc.Shadow_Bias_Softness_Quality_Enabled;
  vec3 l = (vec4(world, 1.0) * psc.WorldToLocal).xyz;
  if (settings.w < 0.5 || any(greaterThan(abs(l), vec3(1.0)))) return 0.0;
  vec4 p = vec4(world, 1.0) * psc.WorldToShadowMap;
  if (p.w <= 0.0) return 0.0;
  vec3 s = p.xyz / p.w;
  // Quality 0: one sample; above 0: 3 x 3 samples spread by the softness
  // (a loop of fixed bounds, which the compiler unrolls).
  if (settings.z <= 0.5) return s.z - settings.x > texture(ps_Texture5, s.xy).r ? 1.0 : 0.0;
  float shadowed = 0.0;
  for (int y = -1; y <= 1; ++y) {
    for (int x = -1; x <= 1; ++x) {
      float stored = texture(ps_Texture5, s.xy + vec2(x, y) * settings.y).r;
      shadowed += s.z - settings.x > stored ? 1.0 : 0.0;
    }
  }
  return shadowed / 9.0;
}
void main() {
  vec4 light = texture(ps_Texture3, ps_TexCoord);
  vec3 colour;
  bool hidden = texture(ps_Texture4, ps_TexCoord).r > light.a * 1.001;
  if (light.a > 0.0 && !hidden) {
    colour = light.rgb;
  } else {
    float occlusion = 0.0;
    float d = texture(ps_Texture4, ps_TexCoord).r;
    if (d > 0.0) {
      vec3 ground = WorldAt(ps_TexCoord * 2.0 - 1.0, 1.0 / d - 1.0);
      occlusion = Occlusion(ground);
      float reach = 1.0 - distance(ground, psc.AoWorldSpacePosition_ViewDistance.xyz);
      occlusion += psc.Shadow_Black_AoStrength.w * clamp(reach, 0.0, 1.0);
    }
    colour = Environment(texture(ps_Texture6, ps_TexCoord).rgb, occlusion);
  }
  fragColour = vec4(colour * Iris(ps_TexCoord), 1.0);
}
