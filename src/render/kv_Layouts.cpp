#include "render/kv_Layouts.h"

#include <cstring>

#include "gfx/kv_Buffer.h"

int kv_Layout_VertexFormat(const char* typeName) {
  static constexpr struct {
    const char* name;
    int format;
  } kFormats[] = {{"float", 0}, {"kvVector2F", 1}, {"kvVector3F", 2}, {"kvVector4F", 3}};
  if (!typeName) return -1;
  for (const auto& f : kFormats) {
    if (std::strcmp(typeName, f.name) == 0) return f.format;
  }
  return -1;
}

void kv_VertexBuffer_BindLayout(kvVertexBuffer* buffer, const LayoutDescriptor* layout) {
  if (!buffer || !layout || layout->size <= 0) return;
  const size_t stride = static_cast<size_t>(layout->size);
  const int vertexCount = static_cast<int>(kv_VertexBuffer_GetSize(buffer) / stride);
  for (int i = 0; i < layout->memberCount; ++i) {
    const LayoutMember& m = layout->members[i];
    const int format = kv_Layout_VertexFormat(m.typeName);
    if (format < 0) continue;  // not a vertex format: the layouts here never hold one
    kv_VertexBuffer_AddAttribute(buffer, format, m.offset, layout->size, vertexCount, m.name,
                                 m.typeName, m.offset, m.size);
  }
}
