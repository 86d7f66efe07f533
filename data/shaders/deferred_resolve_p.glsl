// deferred_resolve: the resolve of a set lit only by its cutscene lights,
// drawn over the background already in the resolve target. Lit mesh pixels
// show albedo x (0.25 ambient + the summed light), unlit ones (and every
// mesh pixel while there is no camera, focal factor 0) their albedo; where
// no mesh is, or the background's virtual depth is nearer than the mesh,
// nothing is written.
// G-buffer textures: 0 albedo (a 1 where a mesh is), 1 distance (camera
// depth), 2 normal (world normal x 0.5 + 0.5, a 1 for lit surfaces),
// 3 light, 4 virtual depth (1 / (y + 1) of the background, -9999 or 0 for
// none), 5 shadow map, 6 the immediate target (the background).
#version 330 core
layout(std140) uniform PSConstants {
  vec4 ViewDistance;
} psc;
uniform sampler2D ps_Texture0;  // albedo
uniform sampler2D ps_Texture1;  // distance
uniform sampler2D ps_Texture2;  // normal
uniform sampler2D ps_Texture3;  // light
uniform sampler2D ps_Texture4;  // virtual depth
in vec2 ps_TexCoord;
out vec4 fragColour;
void main() {
  vec4 albedo = texture(ps_Texture0, ps_TexCoord);
  if (albedo.a < 0.5) discard;
  float mesh = 1.0 / (max(texture(ps_Texture1, ps_TexCoord).r, 0.0) + 1.0);
  if (texture(ps_Texture4, ps_TexCoord).r > mesh * 1.001) discard;
  bool lit = texture(ps_Texture2, ps_TexCoord).a >= 0.5 && psc.ViewDistance.x > 0.0;
  vec3 light = texture(ps_Texture3, ps_TexCoord).rgb;
  fragColour = vec4(lit ? albedo.rgb * (0.25 + light) : albedo.rgb, 1.0);
}
