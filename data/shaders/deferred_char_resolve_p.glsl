// deferred_char_resolve: composes the frame of a set lit by its deferred
// lights into the resolve target. Lit mesh pixels show albedo x the summed
// light, unlit ones their albedo, unless the background's virtual depth is
// nearer there (the mesh stands behind a part of the picture). Elsewhere
// the background (the immediate target) shows, darkened by the light target's alpha (the environment
// shadows and ambient occlusion of the lights pass) times twice AoStrength,
// through the resolve point's luminance curve and shadow colours. The iris
// masks the whole picture.
// G-buffer textures: 0 albedo (a 1 for a lit mesh, 0.75 for an unlit one:
// the lit flag is read here, not from the normal), 1 distance (camera
// depth), 2 normal (world normal x 0.5 + 0.5, a 1 for lit surfaces),
// 3 light, 4 virtual depth (1 / (y + 1) of the background, -9999 or 0 for
// none), 5 shadow map, 6 the immediate target (the background).
#version 330 core
layout(std140) uniform PSConstants {
  vec4 EnvShadow_MinLuminance_InvDeltaLuminance_Power;
  vec4 Shadow_Black_AoStrength;
  vec4 Shadow_White_LightType;
  vec4 Iris_Center_Size;
} psc;
uniform sampler2D ps_Texture0;  // albedo
uniform sampler2D ps_Texture1;  // distance
uniform sampler2D ps_Texture3;  // light
uniform sampler2D ps_Texture4;  // virtual depth
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
void main() {
  vec4 albedo = texture(ps_Texture0, ps_TexCoord);
  vec4 light = texture(ps_Texture3, ps_TexCoord);
  vec3 colour;
  // Depths as the scene depth holds them: 1 / (y + 1), larger is nearer.
  float mesh = 1.0 / (max(texture(ps_Texture1, ps_TexCoord).r, 0.0) + 1.0);
  bool hidden = texture(ps_Texture4, ps_TexCoord).r > mesh * 1.001;
  if (albedo.a >= 0.5 && !hidden) {
    colour = albedo.a >= 0.875 ? albedo.rgb * light.rgb : albedo.rgb;
  } else {
    float occlusion = light.a * 2.0 * psc.Shadow_Black_AoStrength.w;
    colour = Environment(texture(ps_Texture6, ps_TexCoord).rgb, occlusion);
  }
  fragColour = vec4(colour * Iris(ps_TexCoord), 1.0);
}
