// deferred_char_light_viz: the vertex stage of a light volume. ViewDistance.w picks the
// geometry: 1 the light's unit cube (Vector3Vertex) placed and viewed by
// LocalToCamera, 0 a full-screen quad (the camera is inside or across the
// volume) put just in front of the far end of the depth range: behind every
// mesh, but in front of the cleared depth, so the "less-or-equal" test
// leaves out the pixels where no mesh is.
#version 330 core
layout(std140, row_major) uniform VSConstants {
  vec4 ViewDistance;
  mat4 LocalToCamera;
} vsc;
in vec3 vs_Position;
out vec4 ps_Clip;
// Camera space is the 3D library's: x right, y forward (the depth), z up.
// focal is the camera's focal factor in pixels of the 640 x 480 canvas; the
// window depth is 1 / (y + 1), so larger is nearer.
vec4 Project(vec3 c, float focal) {
  float y = max(c.y, 0.0);
  return vec4(c.x * focal / 320.0, c.z * focal / 240.0, (2.0 / (y + 1.0) - 1.0) * c.y, c.y);
}
void main() {
  if (vsc.ViewDistance.w > 0.5) {
    gl_Position = Project((vec4(vs_Position, 1.0) * vsc.LocalToCamera).xyz, vsc.ViewDistance.x);
  } else {
    gl_Position = vec4(vs_Position.xy, -1.0 + 2.0e-6, 1.0);
  }
  ps_Clip = gl_Position;
}
