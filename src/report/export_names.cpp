#include "report/export_names.h"

#include <string_view>

#include "base/latin1_text.h"

namespace orvik {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string WithoutExtension(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool Forbidden(unsigned char c) {
    return c < 0x20 || c == 0x7f ||
           std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// Leading and trailing blanks and dots make names that some systems refuse or hide.
std::string Trimmed(const std::string& name) {
    const std::size_t first = name.find_first_not_of(" .");
    if (first == std::string::npos) {
        return {};
    }
    return name.substr(first, name.find_last_not_of(" .") - first + 1);
}

}  // namespace

std::string ProposedExportPath(const std::string& documentPath, const std::string& title,
                               const std::string& extension) {
    const std::string name =
        documentPath.empty() ? title : documentPath.substr(FolderOf(documentPath).size());
    std::string base = Trimmed(WithoutExtension(name));
    if (base.empty()) {
        base = "Untitled";
    }
    return FolderOf(documentPath) + base + extension;
}

std::string ProposedTracePath(const std::string& documentPath, const std::string& traceName,
                              const std::string& extension) {
    std::string safe;
    for (const char c : traceName) {
        safe += Forbidden(static_cast<unsigned char>(c)) ? '_' : c;
    }
    safe = Trimmed(safe);
    if (safe.empty()) {
        safe = "trace";
    }
    return FolderOf(documentPath) + Latin1ToUtf8(safe) + extension;
}

}  // namespace orvik
