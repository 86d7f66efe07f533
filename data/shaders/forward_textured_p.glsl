// forward_textured: the pixel stage of a forward program: a textured mesh
// lit by its light probes only (outside the shadow light's reach,
// or no shadow light).
// The output goes to the light target, alpha 1 where a mesh is. A negative
// colour (the material's negate flag) shows the surface unlit.
#version 330 core
uniform sampler2D ps_Texture0;
in vec2 ps_TexCoord;
in vec3 ps_WorldPosition;
in vec3 ps_WorldNormal;
in vec3 ps_Irradiance;
flat in vec3 ps_Colour;
out vec4 fragColour;
void main() {
  vec4 texel = texture(ps_Texture0, ps_TexCoord);
  if (texel.a < 0.5) discard;
  vec3 base = texel.rgb;
  if (ps_Colour.r < 0.0) {
    fragColour = vec4(base, 1.0);
    return;
  }
  fragColour = vec4(base * ps_Irradiance, 1.0);
}
