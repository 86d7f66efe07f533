// What the model's readers share: the checks that every index of a freshly
// read model lies inside what it indexes, and the linking of the hierarchy.
#pragma once

#include <cstdint>

#include "quadrix/qxModel3.h"

// A node's links as the files give them: node indices, -1 for none.
struct qxModel3NodeLinks {
  int32_t parent;
  int32_t child;
  int32_t sibling;
};

// Points the nodes' parent, child and sibling fields at the linked nodes and
// computes the depths. Null on success, else the reason: an index outside
// the node array, a node reached by two child or sibling links, a cycle of
// child and sibling links or of parent links, or a node mesh index that is
// neither -1 nor a mesh of geoset 0.
const char* qxModel3_LinkNodes(qxModel3* model, const qxModel3NodeLinks* links);

// Null when every face's vertex and texture-vertex indices lie inside its
// mesh and its corner count is not negative, else the reason.
const char* qxModel3_CheckFaces(const qxModel3* model);

// The depth of every node (number of parent links to its root); false when
// the parent links hold a cycle (the depths are then not all set).
bool qxModel3_ComputeDepths(qxModel3* model);

// Allocation of count zeroed items through the library; null for a count of
// 0 or a failed allocation.
void* qxModel3_AllocZeroed(int64_t count, size_t itemBytes, int line);
