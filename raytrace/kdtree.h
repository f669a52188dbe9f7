// The 3-d tree that keeps the irradiance records and the caustic photons: no
// balancing, the first record is the root on axis 0, every later one goes down
// (right on a greater coordinate, else left) and hangs on the next axis below
// the node it reaches. Walks use an explicit stack, so a tree that degenerated
// into a chain (records inserted in sorted order) costs no stack depth.
#pragma once
#include <cstddef>
#include <deque>
#include <vector>

#include "ri/vecmath.h"

// Record is any type with a float P[3] position; the tree never owns records.
template <class Record>
class KdTree {
public:
    struct Node {
        Record *rec;
        Node *left, *right;
        int axis;
    };

    // Hangs r in the tree.
    void insert(Record *r)
    {
        nodes_.push_back(Node{r, nullptr, nullptr, 0});
        Node *n = &nodes_.back();
        if (!root_) {
            root_ = n;
            return;
        }
        Node *at = root_;
        for (;;) {
            Node *&side = r->P[at->axis] > at->rec->P[at->axis] ? at->right : at->left;
            if (!side) {
                n->axis = (at->axis + 1) % 3;
                side = n;
                return;
            }
            at = side;
        }
    }

    // At most max records within radius of P into out, in the order of a
    // walk that takes a node, then its left side, then its right side, and
    // skips a side that lies wholly beyond the radius.
    int gather(const Point &P, Record **out, int max, float radius) const
    {
        int found = 0;
        if (!root_ || max <= 0) return 0;
        std::vector<const Node *> &stack = stack_;
        stack.clear();
        stack.push_back(root_);
        const float r2 = radius * radius;
        while (!stack.empty() && found < max) {
            const Node *n = stack.back();
            stack.pop_back();
            const float *q = n->rec->P;
            float dx = q[0] - P.x, dy = q[1] - P.y, dz = q[2] - P.z;
            if (dx * dx + dy * dy + dz * dz <= r2) out[found++] = n->rec;
            float c = q[n->axis], p = P[n->axis];
            // Right goes on the stack first so that the left side is walked first.
            if (n->right && p + radius >= c) stack.push_back(n->right);
            if (n->left && !(p - radius > c)) stack.push_back(n->left);
        }
        return found;
    }

    // Calls f on every record, a node before its left side before its right side.
    template <class F>
    void preorder(F f) const
    {
        std::vector<const Node *> stack;
        if (root_) stack.push_back(root_);
        while (!stack.empty()) {
            const Node *n = stack.back();
            stack.pop_back();
            f(*n->rec);
            if (n->right) stack.push_back(n->right);
            if (n->left) stack.push_back(n->left);
        }
    }

    // Forgets every node (the records stay with their owner).
    void clear()
    {
        nodes_.clear();
        root_ = nullptr;
    }
    bool empty() const { return root_ == nullptr; }
    size_t size() const { return nodes_.size(); }
    const Node *root() const { return root_; }

private:
    std::deque<Node> nodes_;
    Node *root_ = nullptr;
    mutable std::vector<const Node *> stack_;
};

// Bytes the statistics charge for one node.
const long KDTREE_NODE_BYTES = 16;
