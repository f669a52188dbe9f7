// Top-down construction of a four-wide bounding hierarchy by the surface-area
// heuristic: a node's objects are split in two where the boxes of the halves,
// weighted by their counts, have the least area, and the largest part is split
// again until the node has four children.
#pragma once
#include <vector>

class GHierBound;
class GPrimitive;

// A tree over the objects (by their world bounds); a node with no child for none.
GHierBound *build_sah_tree(const std::vector<GPrimitive *> &objects);
