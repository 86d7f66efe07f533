// forward_vertex_common: the vertex stage of every forward program: a lit mesh
// (TexturedVertex) placed by Model and seen by View, lit by the light-probe
// lattice of its model. ViewDistance is (focal factor, red, green, blue).
// The seven lattice points are the probe centre and the points one extent
// (ProbeSize / 10) away along +x, -x, +y, -y, +z and -z. A vertex takes the
// centre's light plus, along each axis, its offset in extents (at most 1)
// times the difference towards the point on its side.
#version 330 core
layout(std140, row_major) uniform VSConstants {
  vec4 ViewDistance;
  mat4 Model;
  mat4 View;
  vec4 ProbeCenter;
  vec4 ProbeSize;
  vec4 IrradianceXpos[7];
  vec4 IrradianceXneg[7];
  vec4 IrradianceYpos[7];
  vec4 IrradianceYneg[7];
  vec4 IrradianceZpos[7];
  vec4 IrradianceZneg[7];
} vsc;
in vec3 vs_Position;
in vec3 vs_Normal;
in vec2 vs_TexCoord;
out vec2 ps_TexCoord;
out vec3 ps_WorldPosition;
out vec3 ps_WorldNormal;
out vec3 ps_Irradiance;
flat out vec3 ps_Colour;
// Camera space is the 3D library's: x right, y forward (the depth), z up.
// focal is the camera's focal factor in pixels of the 640 x 480 canvas; the
// window depth is 1 / (y + 1), so larger is nearer.
vec4 Project(vec3 c, float focal) {
  float y = max(c.y, 0.0);
  return vec4(c.x * focal / 320.0, c.z * focal / 240.0, (2.0 / (y + 1.0) - 1.0) * c.y, c.y);
}
vec3 SafeNormalize(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : vec3(0.0, 0.0, 1.0);
}
// The light a probe point gives a surface of normal n: its six directions
// weighted by the squared components of n (an ambient cube).
vec3 Irradiance(int k, vec3 n) {
  vec3 x = n.x >= 0.0 ? vsc.IrradianceXpos[k].rgb : vsc.IrradianceXneg[k].rgb;
  vec3 y = n.y >= 0.0 ? vsc.IrradianceYpos[k].rgb : vsc.IrradianceYneg[k].rgb;
  vec3 z = n.z >= 0.0 ? vsc.IrradianceZpos[k].rgb : vsc.IrradianceZneg[k].rgb;
  vec3 n2 = n * n;
  return n2.x * x + n2.y * y + n2.z * z;
}
void main() {
  vec4 world = vec4(vs_Position, 1.0) * vsc.Model;
  vec3 n = SafeNormalize((vec4(vs_Normal, 0.0) * vsc.Model).xyz);
  vec3 extent = max(vsc.ProbeSize.xyz * 0.1, vec3(1e-6));
  vec3 d = clamp((world.xyz - vsc.ProbeCenter.xyz) / extent, -1.0, 1.0);
  vec3 centre = Irradiance(0, n);
  vec3 e = centre;
  e += abs(d.x) * (Irradiance(d.x >= 0.0 ? 1 : 2, n) - centre);
  e += abs(d.y) * (Irradiance(d.y >= 0.0 ? 3 : 4, n) - centre);
  e += abs(d.z) * (Irradiance(d.z >= 0.0 ? 5 : 6, n) - centre);
  ps_Irradiance = max(e, vec3(0.0));
  ps_TexCoord = vs_TexCoord;
  ps_WorldPosition = world.xyz;
  ps_WorldNormal = n;
  ps_Colour = vsc.ViewDistance.yzw;
  gl_Position = Project((world * vsc.View).xyz, vsc.ViewDistance.x);
  // A vertex whose texture coordinate is not finite (a broken mesh) is put
  // behind the camera, so its triangles are clipped away.
  if (any(isnan(vs_TexCoord)) || any(isinf(vs_TexCoord))) gl_Position = vec4(0.0, 0.0, 0.0, -1.0);
}
