// textured_quad_565: a classic 16-bit picture (a "U16x1" surface of 5-6-5 pixels).
// Vertex stage: a 2D quad (QuadVertex) whose positions are already in clip space.
#version 330 core
in vec3 vs_Position;
in vec2 vs_TexCoord;
out vec2 ps_TexCoord;
void main() {
  ps_TexCoord = vs_TexCoord;
  gl_Position = vec4(vs_Position, 1.0);
}
