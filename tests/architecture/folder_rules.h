#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orvik::architecture {

// A node of the folder graph: "instrument" for a folder's core files,
// "instrument/gui" for its Qt files.
using Node = std::string;

// What each node may include, as each folder's README states it:
//   May depend on: `base/`, `script/`        (or: nothing)
//   Qt files may also depend on: `chart/gui/`
// A folder's Qt files may always use the folder's core and what the core may.
struct FolderRules {
    std::map<Node, std::set<Node>> Allowed;
    std::vector<std::string> Problems;  // READMEs without a rule line
};

FolderRules ReadFolderRules(const std::filesystem::path& sourceRoot);

// One `#include "folder/..."` of a source file.
struct IncludeEdge {
    std::string File;  // relative to the source root
    Node From;
    Node To;
};

// Every quoted include of the project's own folders, and every Qt include
// ("<Q...>" or "<Qt...>") outside a gui/ folder, reported as an edge to "Qt".
std::vector<IncludeEdge> ReadIncludeEdges(const std::filesystem::path& sourceRoot);

// The node a file belongs to: its top folder, plus "/gui" when any folder
// on its path is called gui.
Node NodeOf(const std::filesystem::path& relativeFile);

// A cycle in the allowed graph as the list of nodes along it, or empty.
std::vector<Node> FindCycle(const std::map<Node, std::set<Node>>& graph);

}  // namespace orvik::architecture
