// smooth_lighting: gathers smoothing data into the light target (blended
// additively): where this fragment lies on the visible surface (its depth
// within 5% of the G-buffer's distance), it adds (world normal x w, w) with
// w its texel's alpha, so keyed texels add nothing. smooth_lighting_resolve
// divides by the summed weight. The record's depth test is "less" against
// the scene depth that holds this very surface: the fragment's depth is
// pushed a little farther so that the visible surface passes it.
#version 330 core
uniform sampler2D ps_Texture0;  // the mesh texture
uniform sampler2D ps_Texture2;  // distance
in vec2 ps_TexCoord;
in vec3 ps_Normal;
in float ps_Depth;
out vec4 fragColour;
vec3 SafeNormalize(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : vec3(0.0, 0.0, 1.0);
}
void main() {
  vec2 uv = gl_FragCoord.xy / vec2(textureSize(ps_Texture2, 0));
  float surface = texture(ps_Texture2, uv).r;
  if (abs(surface - ps_Depth) > 0.05 * max(surface, 0.01)) discard;
  float w = texture(ps_Texture0, ps_TexCoord).a;
  fragColour = vec4(SafeNormalize(ps_Normal) * w, w);
  gl_FragDepth = gl_FragCoord.z * 0.999;
}
