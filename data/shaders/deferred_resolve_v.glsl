// deferred_resolve: the resolve of a set lit by cutscene lights.
// Vertex stage: a full-screen quad (TexturedQuadVertex) whose positions are
// already in clip space; the texture coordinate addresses the targets read.
#version 330 core
in vec3 vs_Position;
in vec2 vs_TexCoord;
out vec2 ps_TexCoord;
void main() {
  ps_TexCoord = vs_TexCoord;
  gl_Position = vec4(vs_Position, 1.0);
}
