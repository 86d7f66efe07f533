// copy: one texture copied to the bound target unchanged.
#version 330 core
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
out vec4 fragColour;
void main() {
  fragColour = texture(ps_Texture0, ps_TexCoord);
}
