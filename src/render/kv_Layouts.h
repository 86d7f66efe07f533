// Every vertex format and constant block that the hardware renderer hands to
// the GPU: a plain record type per layout and its static descriptor (size,
// type name, members with name, type name, offset and size). Constant blocks
// use the GPU's std140 packing; the shader files under x86/shaders/compiled/
// declare the same members at the same offsets (uniform blocks "VSConstants"
// and "PSConstants", vertex inputs "vs_" + member name).
//
// Each layout is written once as a list of members; the record type, the
// compile-time checks of every offset and size, and the descriptor all come
// from that list, so they cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/kv_Layout.h"
#include "render/kv_Math.h"

struct kvVertexBuffer;

// Four 32-bit values whose meaning the deferred lights pass defines.
struct kvGlobalLightSettings {
  uint32_t values[4];
};

inline constexpr int MaxLights = 16;
using kvVector4F_x7 = kvVector4F[7];
using kvVector4F_xMaxLights = kvVector4F[MaxLights];

// kvLayout<T>: name, members and descriptor of layout type T.
template <class T>
struct kvLayout;

// The layout's type name.
template <class T>
constexpr const char* kv_Layout_GetName() {
  return kvLayout<T>::name;
}
// The layout's descriptor: one static instance, the same address every call.
template <class T>
constexpr const LayoutDescriptor* kv_Layout_GetDescriptor() {
  return &kvLayout<T>::descriptor;
}

// Gives a freshly created vertex buffer one input attribute per member of its
// vertex layout: kvVector3F members as three floats, kvVector2F as two; the
// vertex count is the buffer's size divided by the stride (the integer
// quotient: trailing bytes get no vertex).
void kv_VertexBuffer_BindLayout(kvVertexBuffer* buffer, const LayoutDescriptor* layout);
template <class T>
void kv_VertexBuffer_BindLayout(kvVertexBuffer* buffer) {
  kv_VertexBuffer_BindLayout(buffer, kv_Layout_GetDescriptor<T>());
}
// The render context's vertex format code of a member type name; -1 when the
// type is not a vertex format.
int kv_Layout_VertexFormat(const char* typeName);

// ---------------------------------------------------------------------------
// A list entry is X(T, member, C++ type, type name, offset, size).
#define KV_LAYOUT_FIELD_(T, m, ctype, tname, off, sz) ctype m;
#define KV_LAYOUT_CHECK_(T, m, ctype, tname, off, sz)                          \
  static_assert(offsetof(T, m) == (off), #T "::" #m " must be at byte " #off); \
  static_assert(sizeof(T::m) == (sz), #T "::" #m " must be " #sz " bytes");
#define KV_LAYOUT_ENTRY_(T, m, ctype, tname, off, sz) LayoutMember{#m, tname, off, sz},

#define KV_DEFINE_LAYOUT(T, SIZE, LIST)                                                    \
  struct T {                                                                               \
    LIST(KV_LAYOUT_FIELD_, T)                                                              \
  };                                                                                       \
  LIST(KV_LAYOUT_CHECK_, T)                                                                \
  static_assert(sizeof(T) == (SIZE), #T " must be " #SIZE " bytes");                       \
  template <>                                                                              \
  struct kvLayout<T> {                                                                     \
    static constexpr const char* name = #T;                                                \
    static constexpr LayoutMember members[] = {LIST(KV_LAYOUT_ENTRY_, T)};                 \
    static constexpr int memberCount = static_cast<int>(sizeof members / sizeof *members); \
    static constexpr LayoutDescriptor descriptor = {SIZE, #T, memberCount, members};       \
  };

// Vertex layouts ------------------------------------------------------------

#define KV_POSITION_TEXCOORD_(X, T)               \
  X(T, Position, kvVector3F, "kvVector3F", 0, 12) \
  X(T, TexCoord, kvVector2F, "kvVector2F", 12, 8)
KV_DEFINE_LAYOUT(QuadVertex, 20, KV_POSITION_TEXCOORD_)
KV_DEFINE_LAYOUT(VideoQuadVertex, 20, KV_POSITION_TEXCOORD_)
KV_DEFINE_LAYOUT(TexturedQuadVertex, 20, KV_POSITION_TEXCOORD_)

#define KV_TEXT_VERTEX_(X, T)                       \
  X(T, PositionPx, kvVector3F, "kvVector3F", 0, 12) \
  X(T, TexCoord, kvVector2F, "kvVector2F", 12, 8)
KV_DEFINE_LAYOUT(TextVertex, 20, KV_TEXT_VERTEX_)

#define KV_TEXTURED_VERTEX_(X, T)                 \
  X(T, Position, kvVector3F, "kvVector3F", 0, 12) \
  X(T, Normal, kvVector3F, "kvVector3F", 12, 12)  \
  X(T, TexCoord, kvVector2F, "kvVector2F", 24, 8)
KV_DEFINE_LAYOUT(TexturedVertex, 32, KV_TEXTURED_VERTEX_)

#define KV_POSITION_ONLY_(X, T) X(T, Position, kvVector3F, "kvVector3F", 0, 12)
KV_DEFINE_LAYOUT(ShadowVertex, 12, KV_POSITION_ONLY_)
KV_DEFINE_LAYOUT(Vector3Vertex, 12, KV_POSITION_ONLY_)

// Constant blocks of the 2D drawing -------------------------------------------

#define KV_COLOR_QUAD_CONSTANTS_(X, T) X(T, FillColor, kvVector4F, "kvVector4F", 0, 16)
KV_DEFINE_LAYOUT(ColorQuadConstants, 16, KV_COLOR_QUAD_CONSTANTS_)

#define KV_QUAD_CONSTANTS_(X, T)                                   \
  X(T, MultiplyColor, kvVector4F, "kvVector4F", 0, 16)             \
  X(T, TexelSizeDesaturateGamma, kvVector4F, "kvVector4F", 16, 16) \
  X(T, ColorKey, uint32_t, "unsigned", 32, 4)
KV_DEFINE_LAYOUT(QuadConstants, 36, KV_QUAD_CONSTANTS_)
KV_DEFINE_LAYOUT(TexturedQuadConstants, 36, KV_QUAD_CONSTANTS_)

#define KV_TEXT_CONSTANTS_(X, T)                      \
  X(T, TextColor, kvVector4F, "kvVector4F", 0, 16)    \
  X(T, ShadowColor, kvVector4F, "kvVector4F", 16, 16) \
  X(T, Origin, kvVector2F, "kvVector2F", 32, 8)       \
  X(T, PixelSize, kvVector2F, "kvVector2F", 40, 8)    \
  X(T, TexelSize, kvVector2F, "kvVector2F", 48, 8)
KV_DEFINE_LAYOUT(TextConstants, 56, KV_TEXT_CONSTANTS_)

// Constant blocks of the deferred renderer ----------------------------------

#define KV_LIT_MESH_VERTEX_CONSTANTS_(X, T)           \
  X(T, ViewDistance, kvVector4F, "kvVector4F", 0, 16) \
  X(T, Model, kvMatrix4F, "kvMatrix4F", 16, 64)       \
  X(T, View, kvMatrix4F, "kvMatrix4F", 80, 64)
KV_DEFINE_LAYOUT(LitMeshVertexConstants, 144, KV_LIT_MESH_VERTEX_CONSTANTS_)

#define KV_FORWARD_LIT_MESH_VERTEX_CONSTANTS_(X, T)              \
  X(T, ViewDistance, kvVector4F, "kvVector4F", 0, 16)            \
  X(T, Model, kvMatrix4F, "kvMatrix4F", 16, 64)                  \
  X(T, View, kvMatrix4F, "kvMatrix4F", 80, 64)                   \
  X(T, ProbeCenter, kvVector4F, "kvVector4F", 144, 16)           \
  X(T, ProbeSize, kvVector4F, "kvVector4F", 160, 16)             \
  X(T, IrradianceXpos, kvVector4F_x7, "kvVector4F[7]", 176, 112) \
  X(T, IrradianceXneg, kvVector4F_x7, "kvVector4F[7]", 288, 112) \
  X(T, IrradianceYpos, kvVector4F_x7, "kvVector4F[7]", 400, 112) \
  X(T, IrradianceYneg, kvVector4F_x7, "kvVector4F[7]", 512, 112) \
  X(T, IrradianceZpos, kvVector4F_x7, "kvVector4F[7]", 624, 112) \
  X(T, IrradianceZneg, kvVector4F_x7, "kvVector4F[7]", 736, 112)
KV_DEFINE_LAYOUT(ForwardLitMeshVertexConstants, 848, KV_FORWARD_LIT_MESH_VERTEX_CONSTANTS_)

// The light and shadow members that the lit-mesh and forward character
// blocks share, at their offsets within each block.
#define KV_LIGHT_MEMBERS_(X, T, base)                                                    \
  X(T, WorldToLocal, kvMatrix4F, "kvMatrix4F", (base), 64)                               \
  X(T, Light_InnerColor_InnerRadius, kvVector4F, "kvVector4F", (base) + 64, 16)          \
  X(T, Light_OuterColor_FalloffPower, kvVector4F, "kvVector4F", (base) + 80, 16)         \
  X(T, Light_Position_InvDelta, kvVector4F, "kvVector4F", (base) + 96, 16)               \
  X(T, Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User, kvVector4F, \
    "kvVector4F", (base) + 112, 16)                                                      \
  X(T, Light_ShadingBias_ShadingInvDelta, kvVector4F, "kvVector4F", (base) + 128, 16)    \
  X(T, WorldToShadowMap, kvMatrix4F, "kvMatrix4F", (base) + 144, 64)

#define KV_LIT_MESH_FRAGMENT_CONSTANTS_(X, T) \
  KV_LIGHT_MEMBERS_(X, T, 0)                  \
  X(T, Shadow_Bias_Softness_Quality_Enabled, kvVector4F, "kvVector4F", 208, 16)
KV_DEFINE_LAYOUT(LitMeshFragmentConstants, 224, KV_LIT_MESH_FRAGMENT_CONSTANTS_)

#define KV_SHADOW_MESH_CONSTANTS_(X, T)                \
  X(T, LocalToScreen, kvMatrix4F, "kvMatrix4F", 0, 64) \
  X(T, LocalToWorld, kvMatrix4F, "kvMatrix4F", 64, 64)
KV_DEFINE_LAYOUT(ShadowMeshConstants, 128, KV_SHADOW_MESH_CONSTANTS_)

#define KV_SHADOW_CONSTANTS_(X, T)                    \
  X(T, ViewDistance, kvVector4F, "kvVector4F", 0, 16) \
  X(T, View, kvMatrix4F, "kvMatrix4F", 16, 64)        \
  X(T, ShadowColor, kvVector4F, "kvVector4F", 80, 16)
KV_DEFINE_LAYOUT(ShadowConstants, 96, KV_SHADOW_CONSTANTS_)

#define KV_VIEW_DISTANCE_LOCAL_TO_CAMERA_(X, T)       \
  X(T, ViewDistance, kvVector4F, "kvVector4F", 0, 16) \
  X(T, LocalToCamera, kvMatrix4F, "kvMatrix4F", 16, 64)
KV_DEFINE_LAYOUT(ZShapeVertexConstants, 80, KV_VIEW_DISTANCE_LOCAL_TO_CAMERA_)
KV_DEFINE_LAYOUT(CharacterLightVertexConstants, 80, KV_VIEW_DISTANCE_LOCAL_TO_CAMERA_)
KV_DEFINE_LAYOUT(CharacterAOVertexConstants, 80, KV_VIEW_DISTANCE_LOCAL_TO_CAMERA_)

#define KV_SMOOTH_LIGHTING_RESOLVE_CONSTANTS_(X, T) X(T, TexelSize, kvVector2F, "kvVector2F", 0, 8)
KV_DEFINE_LAYOUT(SmoothLightingResolveConstants, 8, KV_SMOOTH_LIGHTING_RESOLVE_CONSTANTS_)

#define KV_DEFERRED_RESOLVE_CONSTANTS_(X, T) X(T, ViewDistance, kvVector4F, "kvVector4F", 0, 16)
KV_DEFINE_LAYOUT(DeferredResolveConstants, 16, KV_DEFERRED_RESOLVE_CONSTANTS_)

#define KV_DEFERRED_LIGHT_CONSTANTS_(X, T)                                                  \
  X(T, GlobalLightSettings, kvGlobalLightSettings, "kvGlobalLightSettings", 0, 16)          \
  X(T, LightPositionsAndTypes, kvVector4F_xMaxLights, "kvVector4F[MaxLights]", 16, 256)     \
  X(T, LightColorsAndIntensities, kvVector4F_xMaxLights, "kvVector4F[MaxLights]", 272, 256) \
  X(T, LightDirections, kvVector4F_xMaxLights, "kvVector4F[MaxLights]", 528, 256)
KV_DEFINE_LAYOUT(DeferredLightConstants, 784, KV_DEFERRED_LIGHT_CONSTANTS_)

#define KV_DEFERRED_DIRECT_CONSTANTS_(X, T)            \
  X(T, LightSettings, kvVector4F, "kvVector4F", 0, 16) \
  X(T, LightColor, kvVector4F, "kvVector4F", 16, 16)   \
  X(T, LightDirection, kvVector4F, "kvVector4F", 32, 16)
KV_DEFINE_LAYOUT(DeferredDirectConstants, 48, KV_DEFERRED_DIRECT_CONSTANTS_)

#define KV_DEFERRED_OMNI_CONSTANTS_(X, T)              \
  X(T, LightSettings, kvVector4F, "kvVector4F", 0, 16) \
  X(T, LightColor, kvVector4F, "kvVector4F", 16, 16)   \
  X(T, LightPosition, kvVector4F, "kvVector4F", 32, 16)
KV_DEFINE_LAYOUT(DeferredOmniConstants, 48, KV_DEFERRED_OMNI_CONSTANTS_)

#define KV_DEFERRED_SPOT_CONSTANTS_(X, T)               \
  X(T, LightSettings, kvVector4F, "kvVector4F", 0, 16)  \
  X(T, LightColor, kvVector4F, "kvVector4F", 16, 16)    \
  X(T, LightPosition, kvVector4F, "kvVector4F", 32, 16) \
  X(T, LightDirection, kvVector4F, "kvVector4F", 48, 16)
KV_DEFINE_LAYOUT(DeferredSpotConstants, 64, KV_DEFERRED_SPOT_CONSTANTS_)

#define KV_DEFERRED_POST_PROCESS_CONSTANTS_(X, T)          \
  X(T, FXAAPosOffset, kvVector4F, "kvVector4F", 0, 16)     \
  X(T, FXAARcpFrameOpt1, kvVector4F, "kvVector4F", 16, 16) \
  X(T, FXAARcpFrameOpt2, kvVector4F, "kvVector4F", 32, 16) \
  X(T, FXAAEdgeSharpness, float, "float", 48, 4)           \
  X(T, FXAAEdgeThreshold, float, "float", 52, 4)           \
  X(T, FXAAEdgeThresholdMin, float, "float", 56, 4)
KV_DEFINE_LAYOUT(DeferredPostProcessConstants, 60, KV_DEFERRED_POST_PROCESS_CONSTANTS_)

#define KV_CHARACTER_LIGHT_FRAGMENT_CONSTANTS_(X, T)                    \
  KV_LIGHT_MEMBERS_(X, T, 0)                                            \
  X(T, Shadow_Bias_Softness_Quality, kvVector4F, "kvVector4F", 208, 16) \
  X(T, CameraToWorld, kvMatrix4F, "kvMatrix4F", 224, 64)                \
  X(T, ViewDistance, kvVector4F, "kvVector4F", 288, 16)
KV_DEFINE_LAYOUT(CharacterLightFragmentConstants, 304, KV_CHARACTER_LIGHT_FRAGMENT_CONSTANTS_)

#define KV_CHARACTER_AO_FRAGMENT_CONSTANTS_(X, T)      \
  X(T, ViewDistance, kvVector4F, "kvVector4F", 0, 16)  \
  X(T, WorldToLocal, kvMatrix4F, "kvMatrix4F", 16, 64) \
  X(T, CameraToWorld, kvMatrix4F, "kvMatrix4F", 80, 64)
KV_DEFINE_LAYOUT(CharacterAOFragmentConstants, 144, KV_CHARACTER_AO_FRAGMENT_CONSTANTS_)

#define KV_CHARACTER_RESOLVE_MEMBERS_(X, T)                                             \
  X(T, EnvShadow_MinLuminance_InvDeltaLuminance_Power, kvVector4F, "kvVector4F", 0, 16) \
  X(T, Shadow_Black_AoStrength, kvVector4F, "kvVector4F", 16, 16)                       \
  X(T, Shadow_White_LightType, kvVector4F, "kvVector4F", 32, 16)                        \
  X(T, Iris_Center_Size, kvVector4F, "kvVector4F", 48, 16)
KV_DEFINE_LAYOUT(CharacterLightResolveConstants, 64, KV_CHARACTER_RESOLVE_MEMBERS_)

#define KV_CHARACTER_FORWARD_LIGHT_RESOLVE_CONSTANTS_(X, T)                  \
  KV_CHARACTER_RESOLVE_MEMBERS_(X, T)                                        \
  X(T, CameraToWorld, kvMatrix4F, "kvMatrix4F", 64, 64)                      \
  X(T, AoWorldSpacePosition_ViewDistance, kvVector4F, "kvVector4F", 128, 16) \
  KV_LIGHT_MEMBERS_(X, T, 144)                                               \
  X(T, Shadow_Bias_Softness_Quality_Enabled, kvVector4F, "kvVector4F", 352, 16)
KV_DEFINE_LAYOUT(CharacterForwardLightResolveConstants, 368,
                 KV_CHARACTER_FORWARD_LIGHT_RESOLVE_CONSTANTS_)
