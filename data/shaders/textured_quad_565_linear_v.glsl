// textured_quad_565_linear: a classic 16-bit picture filtered by the shader.
// Vertex stage: a 2D quad (QuadVertex) whose positions are already in clip space.
#version 330 core
in vec3 vs_Position;
in vec2 vs_TexCoord;
out vec2 ps_TexCoord;
void main() {
  ps_TexCoord = vs_TexCoord;
  gl_Position = vec4(vs_Position, 1.0);
}
