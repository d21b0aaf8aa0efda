#include "chart/gui/tools/sample_tree_widget.h"

#include <cstdio>

#include "chart/coloured_text.h"

namespace orvik::samples {

std::string TraceItemText(bool doubleEnded, const std::string& name, double average, bool passed) {
    char figures[64];
    std::snprintf(figures, sizeof figures, ",  %.2f   ", average);
    return (doubleEnded ? ColourText("DD - ", 0x28F0F0) : ColourText("SD - ", 0xB40519)) + name +
           figures + (passed ? ColourText("PASS", 0x0FBE00) : ColourText("FAIL", 0x3700FF));
}

void FillSampleTree(VividTree& tree) {
    tree.SetBackgroundMode(VividTree::kPlainBackground);
    tree.SetTreeBackgroundColour(RgbColour(180, 180, 170));
    tree.SetSelectionColour(RgbColour(64, 64, 64));
    tree.SetSelectedTextColour(RgbColour(200, 200, 200));
    tree.SetLeafIcon(VividTree::TraceLeafIcon());
    tree.clear();

    auto add = [](QTreeWidgetItem* parent, const std::string& text) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, VividTree::ToItemText(text));
        return item;
    };
    auto* script = new QTreeWidgetItem(&tree);
    script->setText(0, VividTree::ToItemText(ColourText("Impedance batch 17", kBlack)));
    QTreeWidgetItem* selected = nullptr;
    const struct {
        const char* serial;
        double averages[3];
    } coupons[] = {{"CP-1041", {50.62, 99.84, 50.12}}, {"CP-1042", {51.08, 103.12, 56.40}}};
    for (const auto& coupon : coupons) {
        QTreeWidgetItem* node =
            add(script, ColourText(std::string("S/N ") + coupon.serial, kBlack));
        const char* postfixes[] = {"-A", "-B", "-C"};
        for (int i = 0; i < 3; ++i) {
            const double average = coupon.averages[i];
            const bool doubleEnded = i == 1;
            const double target = doubleEnded ? 100.0 : 50.0;
            const bool passed = std::abs(average - target) <= target * 0.1 && average != 56.40;
            QTreeWidgetItem* trace =
                add(node, TraceItemText(doubleEnded, coupon.serial + std::string(postfixes[i]),
                                        average, passed));
            if (selected == nullptr && i == 1) {
                selected = trace;
            }
        }
        node->setExpanded(true);
    }
    script->setExpanded(true);
    add(tree.invisibleRootItem(), TraceItemText(false, "Sample #: 1", 49.87, true));
    add(tree.invisibleRootItem(), TraceItemText(false, "Sample #: 2", 57.31, false));
    tree.setCurrentItem(selected);
}

}  // namespace orvik::samples
