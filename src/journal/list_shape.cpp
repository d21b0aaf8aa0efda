#include "journal/list_shape.h"

namespace orvik {

// Seeded afresh for every list: a journal made to know the priorities could
// otherwise build a tree as deep as it is long.
ListShape::ListShape(std::size_t baseItems) : random_(std::random_device{}()) {
    if (baseItems > 0) {
        root_ = NewNode(ListSlot{}, baseItems);
    }
}

std::int32_t ListShape::NewNode(const ListSlot& slot, std::size_t count) {
    const auto items = static_cast<std::uint32_t>(count);
    nodes_.push_back(Node{slot, items, items, static_cast<std::uint32_t>(random_()), -1, -1});
    return static_cast<std::int32_t>(nodes_.size() - 1);
}

std::size_t ListShape::Total(std::int32_t node) const {
    return node < 0 ? 0 : nodes_[static_cast<std::size_t>(node)].Total;
}

void ListShape::Update(std::int32_t node) {
    Node& n = nodes_[static_cast<std::size_t>(node)];
    n.Total = static_cast<std::uint32_t>(Total(n.Left) + n.Count + Total(n.Right));
}

std::size_t ListShape::Size() const {
    return Total(root_);
}

// The first `count` items to the left, the rest to the right; a base run
// that straddles the cut becomes two nodes.
ListShape::Pair ListShape::Split(std::int32_t node, std::size_t count) {
    if (node < 0) {
        return {-1, -1};
    }
    const auto at = static_cast<std::size_t>(node);
    const std::size_t before = Total(nodes_[at].Left);
    if (count <= before) {
        const Pair parts = Split(nodes_[at].Left, count);
        nodes_[at].Left = parts.Right;
        Update(node);
        return {parts.Left, node};
    }
    if (count >= before + nodes_[at].Count) {
        const Pair parts = Split(nodes_[at].Right, count - before - nodes_[at].Count);
        nodes_[at].Right = parts.Left;
        Update(node);
        return {node, parts.Right};
    }
    const std::size_t kept = count - before;
    const std::int32_t rest = NewNode(nodes_[at].Slot, nodes_[at].Count - kept);
    const std::int32_t right = nodes_[at].Right;
    nodes_[at].Count = static_cast<std::uint32_t>(kept);
    nodes_[at].Right = -1;
    Update(node);
    return {node, Merge(rest, right)};
}

std::int32_t ListShape::Merge(std::int32_t left, std::int32_t right) {
    if (left < 0 || right < 0) {
        return left < 0 ? right : left;
    }
    const Node& l = nodes_[static_cast<std::size_t>(left)];
    const Node& r = nodes_[static_cast<std::size_t>(right)];
    if (l.Priority >= r.Priority) {
        const std::int32_t merged = Merge(l.Right, right);
        nodes_[static_cast<std::size_t>(left)].Right = merged;
        Update(left);
        return left;
    }
    const std::int32_t merged = Merge(left, r.Left);
    nodes_[static_cast<std::size_t>(right)].Left = merged;
    Update(right);
    return right;
}

ListSlot ListShape::At(std::size_t index) {
    std::int32_t node = root_;
    while (node >= 0) {
        const Node& n = nodes_[static_cast<std::size_t>(node)];
        const std::size_t before = Total(n.Left);
        if (index < before) {
            node = n.Left;
        } else if (index < before + n.Count) {
            return n.Slot;
        } else {
            index -= before + n.Count;
            node = n.Right;
        }
    }
    return ListSlot{};
}

void ListShape::Insert(std::size_t index, const ListSlot& slot) {
    const Pair parts = Split(root_, index);
    root_ = Merge(Merge(parts.Left, NewNode(slot, 1)), parts.Right);
}

ListSlot ListShape::Erase(std::size_t index) {
    const Pair parts = Split(root_, index);
    const Pair rest = Split(parts.Right, 1);
    const ListSlot removed = nodes_[static_cast<std::size_t>(rest.Left)].Slot;
    root_ = Merge(parts.Left, rest.Right);
    return removed;
}

void ListShape::Replace(std::size_t index, const ListSlot& slot) {
    Erase(index);
    Insert(index, slot);
}

}  // namespace orvik
