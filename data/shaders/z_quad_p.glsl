// z_quad: a depth image whose pixels are already floats (1 / (z + 1) of the
// camera depth z, -9999 where the image is keyed) copied into the single
// channel of the virtual depth target.
#version 330 core
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
out vec4 fragColour;
void main() {
  fragColour = vec4(texture(ps_Texture0, ps_TexCoord).r);
}
