// deferred_post_process: FXAA over the resolved frame (texture 0, sampled
// linearly). The luma of the four corners one half texel away
// (FXAAPosOffset) and of the centre decide whether this is an edge (the
// contrast above FXAAEdgeThreshold of the brightest luma, and above
// FXAAEdgeThresholdMin); along an edge the two samples across the edge's
// direction (FXAARcpFrameOpt1) are blended. The wider pair stretched by
// FXAAEdgeSharpness (FXAARcpFrameOpt2) is not taken: a software GL runs
// every tap for every pixel, edge or not, and the pair cost a third of the
// pass for a blend the near pair mostly gives.
#version 330 core
layout(std140) uniform PSConstants {
  vec4 FXAAPosOffset;
  vec4 FXAARcpFrameOpt1;
  vec4 FXAARcpFrameOpt2;
  float FXAAEdgeSharpness;
  float FXAAEdgeThreshold;
  float FXAAEdgeThresholdMin;
} psc;
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
out vec4 fragColour;
float Luminance(vec3 c) {
  return dot(c, vec3(0.299, 0.587, 0.114));
}
void main() {
  vec2 uv = ps_TexCoord;
  vec4 corners = vec4(uv + psc.FXAAPosOffset.xy, uv + psc.FXAAPosOffset.zw);
  float lumaNw = Luminance(texture(ps_Texture0, corners.xy).rgb);
  float lumaSw = Luminance(texture(ps_Texture0, corners.xw).rgb);
  float lumaNe = Luminance(texture(ps_Texture0, corners.zy).rgb) + 1.0 / 384.0;
  float lumaSe = Luminance(texture(ps_Texture0, corners.zw).rgb);
  vec4 centre = texture(ps_Texture0, uv);
  float lumaM = Luminance(centre.rgb);
  float lumaMax = max(max(lumaNw, lumaSw), max(lumaNe, lumaSe));
  float lumaMin = min(min(lumaNw, lumaSw), min(lumaNe, lumaSe));
  float range = max(lumaMax, lumaM) - min(lumaMin, lumaM);
  if (range < max(psc.FXAAEdgeThresholdMin, lumaMax * psc.FXAAEdgeThreshold)) {
    fragColour = centre;
    return;
  }
  float swMinusNe = lumaSw - lumaNe;
  float seMinusNw = lumaSe - lumaNw;
  vec2 dir = vec2(swMinusNe + seMinusNw, swMinusNe - seMinusNw);
  if (length(dir) <= 0.0) {
    fragColour = centre;
    return;
  }
  vec2 dir1 = normalize(dir);
  fragColour = (texture(ps_Texture0, uv - dir1 * psc.FXAARcpFrameOpt1.zw) +
                texture(ps_Texture0, uv + dir1 * psc.FXAARcpFrameOpt1.zw)) * 0.5;
}
