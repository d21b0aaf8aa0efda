#include "folder_rules.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace orvik::architecture {
namespace fs = std::filesystem;

namespace {

std::set<Node> BacktickedFolders(const std::string& line) {
    static const std::regex folder("`([a-z_]+(/gui)?)/`");
    std::set<Node> nodes;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), folder);
         it != std::sregex_iterator(); ++it) {
        nodes.insert((*it)[1].str());
    }
    return nodes;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

FolderRules ReadFolderRules(const fs::path& sourceRoot) {
    FolderRules rules;
    for (const auto& entry : fs::directory_iterator(sourceRoot)) {
        if (!entry.is_directory()) {
            continue;
        }
        const Node folder = entry.path().filename().string();
        std::ifstream readme(entry.path() / "README.md");
        std::set<Node> core;
        std::set<Node> gui;
        bool stated = false;
        for (std::string line; std::getline(readme, line);) {
            if (StartsWith(line, "May depend on:")) {
                core = BacktickedFolders(line);
                stated = true;
            } else if (StartsWith(line, "Qt files may also depend on:")) {
                gui = BacktickedFolders(line);
            }
        }
        if (!stated) {
            rules.Problems.push_back(folder + "/README.md has no \"May depend on:\" line");
        }
        gui.insert(core.begin(), core.end());
        gui.insert(folder);
        rules.Allowed[folder] = core;
        rules.Allowed[folder + "/gui"] = gui;
    }
    return rules;
}

Node NodeOf(const fs::path& relativeFile) {
    const Node top = relativeFile.begin()->string();
    for (const auto& part : relativeFile.parent_path()) {
        if (part == "gui") {
            return top + "/gui";
        }
    }
    return top;
}

std::vector<IncludeEdge> ReadIncludeEdges(const fs::path& sourceRoot) {
    static const std::regex project("^\\s*#\\s*include\\s+\"([a-z_]+)/(gui/)?");
    static const std::regex qt("^\\s*#\\s*include\\s+<Q");
    std::vector<IncludeEdge> edges;
    for (const auto& entry : fs::recursive_directory_iterator(sourceRoot)) {
        const auto extension = entry.path().extension();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) {
            continue;
        }
        const fs::path relative = fs::relative(entry.path(), sourceRoot);
        const Node from = NodeOf(relative);
        std::ifstream source(entry.path());
        std::smatch match;
        for (std::string line; std::getline(source, line);) {
            if (std::regex_search(line, match, project)) {
                edges.push_back(
                    {relative.string(), from, match[1].str() + (match[2].matched ? "/gui" : "")});
            } else if (!from.ends_with("/gui") && std::regex_search(line, qt)) {
                edges.push_back({relative.string(), from, "Qt"});
            }
        }
    }
    return edges;
}

std::vector<Node> FindCycle(const std::map<Node, std::set<Node>>& graph) {
    enum class Mark { Unseen, OnPath, Done };
    std::map<Node, Mark> marks;
    std::vector<Node> path;
    std::vector<Node> cycle;
    std::function<bool(const Node&)> visit = [&](const Node& node) {
        marks[node] = Mark::OnPath;
        path.push_back(node);
        const auto found = graph.find(node);
        if (found != graph.end()) {
            for (const Node& next : found->second) {
                if (next == node) {
                    continue;
                }
                if (marks[next] == Mark::OnPath) {
                    const auto start = std::find(path.begin(), path.end(), next);
                    cycle.assign(start, path.end());
                    cycle.push_back(next);
                    return true;
                }
                if (marks[next] == Mark::Unseen && visit(next)) {
                    return true;
                }
            }
        }
        path.pop_back();
        marks[node] = Mark::Done;
        return false;
    };
    for (const auto& [node, _] : graph) {
        if (marks[node] == Mark::Unseen && visit(node)) {
            return cycle;
        }
    }
    return {};
}

}  // namespace orvik::architecture
