// untextured_lit: the vertex stage of a lit mesh (TexturedVertex) drawn into the
// G-buffer. Model places the mesh in the world, View is the camera's view;
// ViewDistance is (focal factor, red, green, blue).
#version 330 core
layout(std140, row_major) uniform VSConstants {
  vec4 ViewDistance;
  mat4 Model;
  mat4 View;
} vsc;
in vec3 vs_Position;
in vec3 vs_Normal;
in vec2 vs_TexCoord;
out vec3 ps_Normal;
out float ps_Depth;
flat out vec3 ps_Colour;
// Camera space is the 3D library's: x right, y forward (the depth), z up.
// focal is the camera's focal factor in pixels of the 640 x 480 canvas; the
// window depth is 1 / (y + 1), so larger is nearer.
vec4 Project(vec3 c, float focal) {
  float y = max(c.y, 0.0);
  return vec4(c.x * focal / 320.0, c.z * focal / 240.0, (2.0 / (y + 1.0) - 1.0) * c.y, c.y);
}
void main() {
  vec4 world = vec4(vs_Position, 1.0) * vsc.Model;
  vec3 c = (world * vsc.View).xyz;
  ps_Normal = (vec4(vs_Normal, 0.0) * vsc.Model).xyz;
  ps_Depth = c.y;
  ps_Colour = vsc.ViewDistance.yzw;
  gl_Position = Project(c, vsc.ViewDistance.x);
  // A vertex whose texture coordinate is not finite (a broken mesh) is put
  // behind the camera, so its triangles are clipped away.
  if (any(isnan(vs_TexCoord)) || any(isinf(vs_TexCoord))) gl_Position = vec4(0.0, 0.0, 0.0, -1.0);
}
