#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orvik::testing {

// A real PostgreSQL server of its own for tests: initdb into a temporary
// folder, then pg_ctl start listening only on a Unix socket in that folder;
// stopped and removed when the object goes. Password authentication is on
// (user "orvik"), so that a wrong password is refused as on a real floor.
// Run as root (as CI does), the server runs as the `postgres` user, which
// owns the folder; otherwise as the user running the test.
class PostgresServer {
  public:
    static constexpr const char* kUser = "orvik";
    static constexpr const char* kPassword = "orvik-test-password";

    // Starts one; throws std::runtime_error with the server's log when it
    // cannot (no PostgreSQL installed, initdb or the start failed).
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // The connection URL of `database` on this server.
    std::string Url(const std::string& database, const std::string& password = kPassword) const;
    // A new, empty database; its name.
    std::string CreateDatabase();

    // The whole server killed at once (SIGKILL), as a crash or a power cut
    // of its machine would end it; Start brings it back, recovering its data.
    void Kill();
    void Start();

    const std::filesystem::path& Folder() const { return folder_; }

  private:
    // Runs a PostgreSQL program from its bin folder (as `postgres` when root).
    int RunTool(const std::string& tool, const std::vector<std::string>& arguments) const;
    pid_t ServerPid() const;

    std::filesystem::path bin_;
    std::filesystem::path folder_;
    int databases_ = 0;
};

// The server shared by all tests of one process, started on first use.
PostgresServer& SharedPostgresServer();

}  // namespace orvik::testing
