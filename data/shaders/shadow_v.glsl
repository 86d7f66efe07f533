// shadow: an actor's projected shadow polygon (world points, ShadowVertex)
// drawn into the G-buffer with the camera's view.
#version 330 core
layout(std140, row_major) uniform VSConstants {
  vec4 ViewDistance;
  mat4 View;
  vec4 ShadowColor;
} vsc;
in vec3 vs_Position;
out float ps_Depth;
// Camera space is the 3D library's: x right, y forward (the depth), z up.
// focal is the camera's focal factor in pixels of the 640 x 480 canvas; the
// window depth is 1 / (y + 1), so larger is nearer.
vec4 Project(vec3 c, float focal) {
  float y = max(c.y, 0.0);
  return vec4(c.x * focal / 320.0, c.z * focal / 240.0, (2.0 / (y + 1.0) - 1.0) * c.y, c.y);
}
void main() {
  vec3 c = (vec4(vs_Position, 1.0) * vsc.View).xyz;
  ps_Depth = c.y;
  gl_Position = Project(c, vsc.ViewDistance.x);
}
