// Flat-colour quad: FillColor arrives premultiplied by its alpha.
#version 330 core
layout(std140) uniform PSConstants {
  vec4 FillColor;
} psc;
in vec2 ps_TexCoord;
out vec4 fragColour;
void main() {
  // The quad's vertices carry texture coordinates like every quad; reading
  // them keeps the input bound (they always lie in 0..1).
  if (ps_TexCoord.x < -1.0e30) discard;
  fragColour = psc.FillColor;
}
