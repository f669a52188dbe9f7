// The 3-d tree that keeps the irradiance records and the caustic photons: the
// first record is the root on axis 0, every later one goes down (right on a
// greater coordinate, else left) and hangs on the next axis below the node it
// reaches. Records known together (a cache file) are built into a balanced
// subtree, medians first, whatever their order or their repeats. Walks use an explicit stack, so a
// tree that degenerated into a chain costs no stack depth.
#pragma once
#include <algorithm>
#include <cstddef>
#include <deque>
#include <vector>

#include "ri_common/vecmath.h"

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

    // Hangs every record of recs as one balanced tree, the median of each range on
    // the axis of its depth first; equal keys fall on both sides of their
    // median, so sorted input or records that all share one position make
    // no chain (recs is reordered). Walks take either side for a key equal
    // to the node's, so they find every record.
    void insert_balanced(std::vector<Record *> &recs)
    {
        if (recs.empty()) return;
        struct Range {
            size_t lo, hi;
            int axis;
            Node **slot;
        };
        // A tree already grown takes them as a tree of their own beside it.
        Node **top = &root_;
        if (root_) {
            groves_.push_back(nullptr);
            top = &groves_.back();
        }
        std::vector<Range> todo{{0, recs.size(), 0, top}};
        while (!todo.empty()) {
            Range r = todo.back();
            todo.pop_back();
            if (r.lo >= r.hi) continue;
            const size_t mid = r.lo + (r.hi - r.lo) / 2;
            const int axis = r.axis;
            auto at = [&recs](size_t i) { return recs.begin() + std::ptrdiff_t(i); };
            // Ties on the axis go by the other coordinates, so that the tree
            // does not hang on the order the records came in.
            std::nth_element(at(r.lo), at(mid), at(r.hi), [axis](const Record *a, const Record *b) {
                for (int k = 0; k < 3; ++k) {
                    const int i = (axis + k) % 3;
                    if (a->P[i] != b->P[i]) return a->P[i] < b->P[i];
                }
                return false;
            });
            nodes_.push_back(Node{recs[mid], nullptr, nullptr, axis});
            Node *n = &nodes_.back();
            *r.slot = n;
            // Below mid nothing is greater, above it nothing is less.
            todo.push_back(Range{mid + 1, r.hi, (axis + 1) % 3, &n->right});
            todo.push_back(Range{r.lo, mid, (axis + 1) % 3, &n->left});
        }
    }

    // The number of nodes on the longest path from the root.
    int depth() const
    {
        int deepest = 0;
        std::vector<std::pair<const Node *, int>> stack;
        for (const Node *r : roots()) stack.emplace_back(r, 1);
        while (!stack.empty()) {
            auto [n, d] = stack.back();
            stack.pop_back();
            deepest = std::max(deepest, d);
            if (n->left) stack.emplace_back(n->left, d + 1);
            if (n->right) stack.emplace_back(n->right, d + 1);
        }
        return deepest;
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
        const std::vector<const Node *> tops = roots();
        stack.insert(stack.end(), tops.rbegin(), tops.rend());
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
        const std::vector<const Node *> tops = roots();
        stack.insert(stack.end(), tops.rbegin(), tops.rend());
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
        groves_.clear();
        root_ = nullptr;
    }
    bool empty() const { return root_ == nullptr; }
    size_t size() const { return nodes_.size(); }
    const Node *root() const { return root_; }

private:
    // The tree of inserts first, then the trees of each balanced batch.
    std::vector<const Node *> roots() const
    {
        std::vector<const Node *> r;
        if (root_) r.push_back(root_);
        for (const Node *g : groves_)
            if (g) r.push_back(g);
        return r;
    }

    std::deque<Node> nodes_;
    Node *root_ = nullptr;
    std::deque<Node *> groves_;   // a deque: the slots must not move while filled
    mutable std::vector<const Node *> stack_;
};

// Bytes the statistics charge for one node.
const long KDTREE_NODE_BYTES = 16;
