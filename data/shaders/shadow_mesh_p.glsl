// shadow_mesh: writes the caster's depth seen from the light (z / w, 0 at the
// near distance and 1 at the far one) and its square into the shadow map's
// two channels; the shadow map is cleared to 1 (nothing in the way).
#version 330 core
in vec2 ps_DepthW;
out vec4 fragColour;
void main() {
  float d = ps_DepthW.x / ps_DepthW.y;
  fragColour = vec4(d, d * d, 0.0, 1.0);
}
