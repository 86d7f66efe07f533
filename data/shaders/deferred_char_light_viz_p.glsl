// deferred_char_light_viz: shows a light's volume for debugging: every pixel
// whose visible point (mesh or background) lies inside the light's unit box
// gets a quarter of the inner colour added.
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
// The world point seen at a pixel (ndc) at camera depth y.
vec3 WorldAt(vec2 ndc, float y) {
  float focal = max(psc.ViewDistance.x, 1e-6);
  vec3 c = vec3(ndc.x * 320.0 / focal * y, y, ndc.y * 240.0 / focal * y);
  return (vec4(c, 1.0) * psc.CameraToWorld).xyz;
}
void main() {
  vec2 ndc = ps_Clip.xy / ps_Clip.w;
  vec2 uv = ndc * 0.5 + 0.5;
  float y = texture(ps_Texture1, uv).r;
  if (texture(ps_Texture0, uv).a < 0.5) {
    float d = texture(ps_Texture4, uv).r;
    if (d <= 0.0) discard;
    y = 1.0 / d - 1.0;
  }
  vec3 l = (vec4(WorldAt(ndc, y), 1.0) * psc.WorldToLocal).xyz;
  if (any(greaterThan(abs(l), vec3(1.0)))) discard;
  fragColour = vec4(psc.Light_InnerColor_InnerRadius.rgb * 0.25, 0.0);
}
