// deferred_zshape: writes the shape's depth, 1 / (y + 1) of its camera
// depth y, into the virtual depth target (one pass blends by maximum, so
// the nearest surface stays).
#version 330 core
in float ps_Depth;
out vec4 fragColour;
void main() {
  fragColour = vec4(1.0 / (max(ps_Depth, 0.0) + 1.0));
}
