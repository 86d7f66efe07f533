// shadow: an actor's shadow polygon in the G-buffer targets albedo,
// distance and light: the albedo is the shadow colour, the distance the
// polygon's camera depth and the light full (1, 1, 1, 1), so the resolve
// shows the shadow colour as it is, like the classic fill.
#version 330 core
layout(std140, row_major) uniform PSConstants {
  vec4 ViewDistance;
  mat4 View;
  vec4 ShadowColor;
} psc;
in float ps_Depth;
layout(location = 0) out vec4 albedo;
layout(location = 1) out vec4 distance;
layout(location = 2) out vec4 light;
void main() {
  albedo = vec4(psc.ShadowColor.rgb, 1.0);
  distance = vec4(ps_Depth);
  light = vec4(1.0);
}
