// Layout descriptors: the description of a vertex or constant-block type that
// the hardware renderer builds once per type and hands out by pointer. The
// render context reads the size (as the vertex stride), the type name (in
// diagnostics) and every member's name, type name and offset.
#pragma once

struct LayoutMember {
  const char* name;      // "pos", "uv", "worldViewProj"
  const char* typeName;  // "float", "int", "unsigned", "kvVector2F" .. "kvVector4F", "kvMatrix4F"
  int offset;            // bytes from the start of the record
  int size;              // bytes
};

struct LayoutDescriptor {
  int size;              // bytes of one record
  const char* typeName;  // "ShadowMeshConstants", "ZShapeVertexConstants"
  int memberCount;
  const LayoutMember* members;  // memberCount entries
};
