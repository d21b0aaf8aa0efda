#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace orvik::testing {

// A fresh folder per test, removed afterwards. The process id is part of the
// name, so that two runs of the same test at once (two build trees, say) never
// share a folder.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "orvik-test-";
        if (info) {
            name += std::string(info->test_suite_name()) + "-" + info->name();
        }
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        // Two folders in one test never share a path, nor wipe each other.
        static std::atomic<int> made{0};
        name += "-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The process id of a program that has ended, for files named after their
// program.
inline pid_t EndedProcessId() {
    pid_t pid = 0;
    char name[] = "true";
    char* argv[] = {name, nullptr};
    char* environment[] = {nullptr};
    EXPECT_EQ(::posix_spawnp(&pid, "true", nullptr, nullptr, argv, environment), 0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace orvik::testing
