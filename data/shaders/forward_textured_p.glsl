// forward_textured: the pixel stage of a forward program: a textured mesh
// lit by its light probes only (outside the shadow light's reach,
// or no shadow light).
// The output goes to the light target; its alpha is the mesh's window depth
// 1 / (y + 1) (above 0 where a mesh is), which the resolve compares with the
// virtual depth of the background. A negative colour (the material's
// negate flag) shows the surface unlit.
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
    fragColour = vec4(base, gl_FragCoord.z);
    return;
  }
  fragColour = vec4(base * ps_Irradiance, gl_FragCoord.z);
}
