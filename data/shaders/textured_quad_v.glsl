// Textured quad: x and y are already in clip space; z is the window depth
// (0 for 2D quads; a sprite's 1 / (y + 1), as the scene depth holds it).
#version 330 core
in vec3 vs_Position;
in vec2 vs_TexCoord;
out vec2 ps_TexCoord;
void main() {
  ps_TexCoord = vs_TexCoord;
  gl_Position = vec4(vs_Position.xy, vs_Position.z * 2.0 - 1.0, 1.0);
}
