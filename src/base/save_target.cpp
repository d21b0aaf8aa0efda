#include "base/save_target.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace orvik {
namespace {

// As many links as the system itself follows before it gives up.
constexpr int kMaxLinks = 40;

Failure CannotWrite(const std::string& path, const std::string& reason) {
    return {"Cannot write " + path + ": " + reason, ""};
}

// The file at the end of the chain of links that starts at `path`, found the
// way the system finds it: a relative link is read from the link's own folder
// (kept as it is written, so that ".." is taken where the system takes it).
// A link to nothing ends the chain at the name it gives.
Result<std::string> FollowLinks(const std::string& path) {
    std::string current = path;
    std::vector<char> target(PATH_MAX);
    for (int links = 0;; ++links) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0) {
            if (errno == ENOENT) {
                return current;
            }
            return CannotWrite(path, std::strerror(errno));
        }
        if (!S_ISLNK(status.st_mode)) {
            return current;
        }
        if (links == kMaxLinks) {
            return CannotWrite(path, std::strerror(ELOOP));
        }
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) == target.size()) {
            return CannotWrite(path,
                               length < 0 ? std::strerror(errno) : std::strerror(ENAMETOOLONG));
        }
        std::string next(target.data(), static_cast<std::size_t>(length));
        current = next.starts_with('/') ? next : FolderOf(current) + "/" + next;
    }
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

Result<SaveTarget> ResolveSaveTarget(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
            return SaveTarget{.What = SaveTarget::Kind::Stream, .Path = path, .Folder = {}};
        }
        if (S_ISDIR(status.st_mode)) {
            return CannotWrite(path, "it is a folder");
        }
        if (!S_ISREG(status.st_mode)) {
            return CannotWrite(path, "it is not a regular file");
        }
    } else if (errno != ENOENT) {
        return CannotWrite(path, std::strerror(errno));
    }
    const Result<std::string> file = FollowLinks(path);
    if (!file) {
        return file.Error();
    }
    SaveTarget target{.What = SaveTarget::Kind::NewFile, .Path = *file, .Folder = FolderOf(*file)};
    if (::stat(target.Path.c_str(), &status) != 0) {
        return target;
    }
    // A rename would replace a file that its owner protected from writing.
    if (::faccessat(AT_FDCWD, target.Path.c_str(), W_OK, AT_EACCESS) != 0) {
        return CannotWrite(path, std::strerror(errno));
    }
    target.What = SaveTarget::Kind::ReplaceFile;
    target.Mode = status.st_mode & 07777;
    target.Owner = status.st_uid;
    target.Group = status.st_gid;
    return target;
}

}  // namespace orvik
