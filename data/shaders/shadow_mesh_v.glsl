// shadow_mesh: a shadow caster seen from a light: a character's mesh
// (TexturedVertex) or a set's caster box (Vector3Vertex; its missing normal
// and texture coordinate read as zero). LocalToScreen takes it to the
// light's clip space; each point is first pulled 0.01 inward along its
// normal, which keeps lit surfaces from shadowing themselves.
#version 330 core
layout(std140, row_major) uniform VSConstants {
  mat4 LocalToScreen;
  mat4 LocalToWorld;
} vsc;
in vec3 vs_Position;
in vec3 vs_Normal;
in vec2 vs_TexCoord;
out vec2 ps_DepthW;
void main() {
  gl_Position = vec4(vs_Position - vs_Normal * 0.01, 1.0) * vsc.LocalToScreen;
  // A vertex whose texture coordinate is not finite (a broken mesh) is put
  // behind the camera, so its triangles are clipped away.
  if (any(isnan(vs_TexCoord)) || any(isinf(vs_TexCoord))) gl_Position = vec4(0.0, 0.0, 0.0, -1.0);
  ps_DepthW = gl_Position.zw;
}
