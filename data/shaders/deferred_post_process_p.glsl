// deferred_post_process: FXAA over the resolved frame (texture 0, sampled
// linearly). The luma of the four corners one half texel away
// (FXAAPosOffset) and of the centre decide whether this is an edge (the
// contrast above FXAAEdgeThreshold of the brightest luma, and above
// FXAAEdgeThresholdMin); along an edge two samples across the edge's
// direction (FXAARcpFrameOpt1) and two further ones stretched by
// FXAAEdgeSharpness (FXAARcpFrameOpt2) are blended, keeping the nearer pair
// when the wider blend leaves the local luma range.
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
  vec4 a = texture(ps_Texture0, uv - dir1 * psc.FXAARcpFrameOpt1.zw) +
           texture(ps_Texture0, uv + dir1 * psc.FXAARcpFrameOpt1.zw);
  float smallest = max(min(abs(dir1.x), abs(dir1.y)) * psc.FXAAEdgeSharpness, 1e-6);
  vec2 dir2 = clamp(dir1 / smallest, -2.0, 2.0);
  vec4 b = (texture(ps_Texture0, uv - dir2 * psc.FXAARcpFrameOpt2.zw) +
            texture(ps_Texture0, uv + dir2 * psc.FXAARcpFrameOpt2.zw)) * 0.25 + a * 0.25;
  float lumaB = Luminance(b.rgb);
  fragColour = (lumaB < lumaMin || lumaB > lumaMax) ? a * 0.5 : b;
}
