#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvik {

// The colours of a tree line's texts: the mode ("DD - " yellow, "SD - "
// blue), the verdict (PASS green, FAIL red), and black for the rest.
inline constexpr std::uint32_t kDoubleEndedColour = 0x28f0f0;
inline constexpr std::uint32_t kSingleEndedColour = 0xb40519;
inline constexpr std::uint32_t kPassColour = 0x0fbe00;
inline constexpr std::uint32_t kFailColour = 0x3700ff;
inline constexpr std::uint32_t kTreeTextColours[] = {kDoubleEndedColour, kSingleEndedColour,
                                                     kPassColour, kFailColour, 0x000000};

// The test tree's colour sets: the usual grey-green one with a dark
// selection bar, and the high-contrast one (white, black selection) for
// operators who need it.
struct TreeColours {
    std::uint32_t Background;
    std::uint32_t Selection;
    std::uint32_t SelectedText;
    bool HighContrast;
};
inline constexpr TreeColours kUsualTreeColours{0xaab4b4, 0x404040, 0xc8c8c8, false};
inline constexpr TreeColours kHighContrastTreeColours{0xffffff, 0x000000, 0xffffff, true};

class COrvikDoc;
class CollectionItem;
class Script;
class TraceRecord;

// One line of a collection's test tree. The node points at its item in the
// collection; the tree never owns items.
struct TestTreeNode {
    enum class Kind { Trace, Script, Coupon };

    Kind NodeKind;
    std::string Text;  // with colour codes
    CollectionItem* Item;
    TestTreeNode* Parent = nullptr;
    std::vector<std::unique_ptr<TestTreeNode>> Children;
    bool Expanded = false;
};

// The nodes that one pending-record insertion created, outermost first; the
// window adds exactly these.
struct TreeInsertion {
    TestTreeNode* ScriptNode = nullptr;
    TestTreeNode* CouponNode = nullptr;
    TestTreeNode* TraceNode = nullptr;
};

// One coupon of a script item's run as the collection holds it: its serial
// and the positions of the tests filed for it, in list order.
struct RecordedCoupon {
    std::string Serial;
    std::vector<std::int32_t> Positions;
};

// The coupons filed under `script`, one of the collection's items, grouped as
// the tree groups them: the markers and scripted traces that follow it, up to
// the next script item or the next trace recorded outside a script.
std::vector<RecordedCoupon> RecordedCoupons(const COrvikDoc& document, const Script& script);

// The grouping of a collection into scripts, coupons and traces, as the test
// tree shows it: scripts at the root, coupons under their script, traces under
// their coupon, and traces recorded outside a script at the root.
class TestTree {
  public:
    explicit TestTree(COrvikDoc& document) : document_(document) {}

    // Builds the whole tree from the collection's items in list order.
    void Rebuild();

    // Files `record`, which Record Test has just appended, adding a snapshot
    // of the running script and a coupon marker to the collection when the
    // run needs them.
    TreeInsertion InsertRecord(TraceRecord& record);

    // Removes the node's items and those of every node under it from the
    // collection, and the nodes from the tree; the collection is then
    // modified. A running script that goes with them stops; the result tells
    // whether it did.
    bool DeleteNode(TestTreeNode* node);

    // The question asked before deleting a node.
    static std::string DeleteQuestion(const TestTreeNode& node);

    // The running script continues from a script node (right click). When the
    // node's records end the collection it groups what is recorded next, and
    // a test recorded for its last coupon joins that coupon instead of opening
    // a second one of the same serial; otherwise what is recorded next opens a
    // node of its own. None when the node is not a script node.
    Script* ScriptToResume(TestTreeNode* node);

    const std::vector<std::unique_ptr<TestTreeNode>>& Roots() const { return roots_; }
    std::size_t NodeCount() const;

    static std::string TraceText(const TraceRecord& trace);
    static std::string ScriptText(const Script& script);
    static std::string CouponText(const std::string& prefix, const std::string& serial);

  private:
    TestTreeNode* AddNode(TestTreeNode* parent, TestTreeNode::Kind kind, std::string text,
                          CollectionItem* item);
    void CollectItems(const TestTreeNode& node, std::vector<CollectionItem*>& items) const;
    bool Contains(const TestTreeNode& node, const TestTreeNode* wanted) const;

    COrvikDoc& document_;
    std::vector<std::unique_ptr<TestTreeNode>> roots_;
    TestTreeNode* currentScript_ = nullptr;
    TestTreeNode* currentCoupon_ = nullptr;
    // The running script whose records the current script node groups.
    const Script* currentRun_ = nullptr;
};

}  // namespace orvik
