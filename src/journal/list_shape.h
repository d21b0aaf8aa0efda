#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace orvik {

// One position of a collection's item list as the journal sees it: an item of
// the list the journal began from, or one whose contents a journal entry
// holds (inserted, or changed in place).
struct ListSlot {
    static constexpr std::uint32_t kBase = 0xFFFFFFFFU;
    std::uint32_t Entry = kBase;   // the entry that holds the item's contents
    std::int8_t Type = 0;          // 0 for an unchanged item of the base list
    bool ChangedBaseItem = false;  // an item of the base list, changed in place
};

// The item list followed through a journal's changes without the items
// themselves: insert, remove and replace at an index, each in logarithmic
// time however long the list, so that reading any journal takes time in
// proportion to its length. At most 2^32 - 1 items and entries. The base list is kept as runs of
// its items; an implicit treap (a tree ordered by position, balanced by random priorities) holds
// the runs and the journal's items.
class ListShape {
  public:
    explicit ListShape(std::size_t baseItems);

    std::size_t Size() const;
    ListSlot At(std::size_t index);
    void Insert(std::size_t index, const ListSlot& slot);
    ListSlot Erase(std::size_t index);
    void Replace(std::size_t index, const ListSlot& slot);
    // Every slot with the number of items it stands for (more than one only
    // for a run of base items), in list order.
    template <typename Visit>
    void ForEach(Visit visit) const;

  private:
    // Small, as a crafted journal can make one for every 20 bytes it holds.
    struct Node {
        ListSlot Slot;
        std::uint32_t Count;  // items the node stands for: more than one only for a base run
        std::uint32_t Total;  // items in the node's subtree
        std::uint32_t Priority;
        std::int32_t Left = -1;
        std::int32_t Right = -1;
    };
    struct Pair {
        std::int32_t Left;
        std::int32_t Right;
    };

    std::int32_t NewNode(const ListSlot& slot, std::size_t count);
    std::size_t Total(std::int32_t node) const;
    void Update(std::int32_t node);
    Pair Split(std::int32_t node, std::size_t count);
    std::int32_t Merge(std::int32_t left, std::int32_t right);

    std::vector<Node> nodes_;
    std::int32_t root_ = -1;
    std::mt19937 random_;
};

template <typename Visit>
void ListShape::ForEach(Visit visit) const {
    std::vector<std::int32_t> path;
    std::int32_t node = root_;
    while (node >= 0 || !path.empty()) {
        while (node >= 0) {
            path.push_back(node);
            node = nodes_[static_cast<std::size_t>(node)].Left;
        }
        const Node& here = nodes_[static_cast<std::size_t>(path.back())];
        path.pop_back();
        visit(here.Slot, static_cast<std::size_t>(here.Count));
        node = here.Right;
    }
}

}  // namespace orvik
