#include "collection/test_tree.h"

#include <algorithm>

#include "base/c_numbers.h"
#include "chart/coloured_text.h"
#include "collection/orvik_doc.h"
#include "collection/reference_mask.h"
#include "script/script.h"

namespace orvik {

std::string TestTree::TraceText(const TraceRecord& trace) {
    std::string text = trace.Criteria.IsDifferential() ? ColourText("DD - ", kDoubleEndedColour)
                                                       : ColourText("SD - ", kSingleEndedColour);
    text += trace.Name;
    text += FormatC(",  %.2f   ", PrintableNumber(trace.Average));
    text += trace.Passed ? ColourText("PASS", kPassColour)
            : trace.OutsideReferenceMask
                ? ColourText(std::string("FAIL - ") + kOutsideReferenceMaskText, kFailColour)
                : ColourText("FAIL", kFailColour);
    return text;
}

std::string TestTree::ScriptText(const Script& script) {
    return ColourText(script.Description, kBlack);
}

std::string TestTree::CouponText(const std::string& prefix, const std::string& serial) {
    return ColourText(prefix + serial, kBlack);
}

TestTreeNode* TestTree::AddNode(TestTreeNode* parent, TestTreeNode::Kind kind, std::string text,
                                CollectionItem* item) {
    auto node = std::make_unique<TestTreeNode>(
        TestTreeNode{kind, std::move(text), item, parent, {}, false});
    auto& siblings = parent ? parent->Children : roots_;
    siblings.push_back(std::move(node));
    return siblings.back().get();
}

void TestTree::Rebuild() {
    roots_.clear();
    TestTreeNode* scriptNode = nullptr;
    TestTreeNode* couponNode = nullptr;
    Script* lastScript = nullptr;
    for (const auto& owned : document_.Items()) {
        CollectionItem* item = owned.get();
        if (auto* trace = dynamic_cast<TraceRecord*>(item)) {
            if (trace->Tag == kTagOutsideScript) {
                scriptNode = couponNode = nullptr;
                lastScript = nullptr;
            }
            AddNode(couponNode, TestTreeNode::Kind::Trace, TraceText(*trace), item);
            if (couponNode) {
                couponNode->Expanded = true;
            }
        } else if (auto* script = dynamic_cast<Script*>(item)) {
            scriptNode = AddNode(nullptr, TestTreeNode::Kind::Script, ScriptText(*script), item);
            lastScript = script;
        } else if (auto* marker = dynamic_cast<CouponMarker*>(item)) {
            std::string text;
            if (lastScript) {
                lastScript->CurrentSerial = marker->Serial;
                text = CouponText(lastScript->Prefix, marker->Serial);
            }
            couponNode = AddNode(scriptNode, TestTreeNode::Kind::Coupon, std::move(text), item);
            if (scriptNode) {
                scriptNode->Expanded = true;
            }
        }
    }
    currentScript_ = currentCoupon_ = nullptr;
}

std::vector<RecordedCoupon> RecordedCoupons(const COrvikDoc& document, const Script& script) {
    std::vector<RecordedCoupon> coupons;
    const auto& items = document.Items();
    const std::ptrdiff_t start = document.IndexOf(&script);
    if (start < 0) {
        return coupons;
    }
    for (auto it = items.begin() + start + 1; it != items.end(); ++it) {
        const CollectionItem* item = it->get();
        if (dynamic_cast<const Script*>(item) != nullptr) {
            break;
        }
        if (const auto* marker = dynamic_cast<const CouponMarker*>(item)) {
            coupons.push_back({marker->Serial, {}});
        } else if (const auto* trace = dynamic_cast<const TraceRecord*>(item)) {
            if (trace->Tag == kTagOutsideScript) {
                break;
            }
            if (!coupons.empty()) {
                coupons.back().Positions.push_back(trace->ElementPosition);
            }
        }
    }
    return coupons;
}

TreeInsertion TestTree::InsertRecord(TraceRecord& appended) {
    TreeInsertion inserted;
    TraceRecord* record = &appended;
    Script* running = document_.ActiveScript;
    if (running == nullptr) {
        currentScript_ = nullptr;
        inserted.TraceNode =
            AddNode(nullptr, TestTreeNode::Kind::Trace, TraceText(*record), record);
        return inserted;
    }
    if (currentScript_ == nullptr || currentRun_ != running) {
        // A run of another script (or a resume that did not start) never
        // files under the node of the one before.
        auto snapshot = std::make_unique<Script>(*running);
        CollectionItem& item = document_.InsertBefore(record, std::move(snapshot));
        currentScript_ = AddNode(nullptr, TestTreeNode::Kind::Script, ScriptText(*running), &item);
        currentCoupon_ = nullptr;
        currentRun_ = running;
        inserted.ScriptNode = currentScript_;
    }
    const bool firstTest =
        !running->Elements.empty() && document_.ActiveElement == &running->Elements.front();
    if (currentCoupon_ == nullptr || firstTest) {
        CollectionItem& item =
            document_.InsertBefore(record, std::make_unique<CouponMarker>(running->CurrentSerial));
        currentCoupon_ = AddNode(currentScript_, TestTreeNode::Kind::Coupon,
                                 CouponText(running->Prefix, running->CurrentSerial), &item);
        inserted.CouponNode = currentCoupon_;
    }
    inserted.TraceNode =
        AddNode(currentCoupon_, TestTreeNode::Kind::Trace, TraceText(*record), record);
    currentScript_->Expanded = true;
    currentCoupon_->Expanded = true;
    return inserted;
}

void TestTree::CollectItems(const TestTreeNode& node, std::vector<CollectionItem*>& items) const {
    items.push_back(node.Item);
    for (const auto& child : node.Children) {
        CollectItems(*child, items);
    }
}

bool TestTree::Contains(const TestTreeNode& node, const TestTreeNode* wanted) const {
    if (&node == wanted) {
        return true;
    }
    return std::any_of(node.Children.begin(), node.Children.end(),
                       [&](const auto& child) { return Contains(*child, wanted); });
}

bool TestTree::DeleteNode(TestTreeNode* node) {
    if (node == nullptr) {
        return false;
    }
    std::vector<CollectionItem*> items;
    CollectItems(*node, items);
    const Script* running = document_.ActiveScript;
    const bool stopsRun =
        running != nullptr && std::find(items.begin(), items.end(), running) != items.end();
    for (CollectionItem* item : items) {
        document_.RemoveItem(item);
    }
    // Closing must ask before the deletion is thrown away.
    document_.SetModified();
    if (Contains(*node, currentScript_)) {
        currentScript_ = nullptr;
    }
    if (Contains(*node, currentCoupon_)) {
        currentCoupon_ = nullptr;
    }
    auto& siblings = node->Parent ? node->Parent->Children : roots_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [&](const auto& owned) { return owned.get() == node; }),
                   siblings.end());
    return stopsRun;
}

std::string TestTree::DeleteQuestion(const TestTreeNode& node) {
    return "Do you want to delete \"" + PlainText(node.Text) + "\" ?";
}

Script* TestTree::ScriptToResume(TestTreeNode* node) {
    if (node == nullptr || node->NodeKind != TestTreeNode::Kind::Script) {
        return nullptr;
    }
    auto* script = dynamic_cast<Script*>(node->Item);
    if (script == nullptr || script->Elements.empty()) {
        return nullptr;
    }
    currentScript_ = nullptr;
    currentCoupon_ = nullptr;
    currentRun_ = script;
    // The records of the resumed run are appended to the collection. They
    // join this node (and its last coupon) only when its records end the
    // list; after a trace recorded outside a script or another run they open
    // a node of their own, as a reopened file would group them.
    const CollectionItem* last = node->Item;
    TestTreeNode* lastCoupon = nullptr;
    if (!node->Children.empty()) {
        TestTreeNode* child = node->Children.back().get();
        last = child->Children.empty() ? child->Item : child->Children.back()->Item;
        if (child->NodeKind == TestTreeNode::Kind::Coupon) {
            lastCoupon = child;
        }
    }
    const auto& items = document_.Items();
    if (!items.empty() && last == items.back().get()) {
        currentScript_ = node;
        currentCoupon_ = lastCoupon;
    }
    return script;
}

std::size_t TestTree::NodeCount() const {
    std::size_t count = 0;
    std::vector<const TestTreeNode*> pending;
    for (const auto& root : roots_) {
        pending.push_back(root.get());
    }
    while (!pending.empty()) {
        const TestTreeNode* node = pending.back();
        pending.pop_back();
        ++count;
        for (const auto& child : node->Children) {
            pending.push_back(child.get());
        }
    }
    return count;
}

}  // namespace orvik
