#include "postgres_server.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "results/sql_connection.h"

namespace orvik::testing {
namespace {

namespace fs = std::filesystem;

// Debian keeps each major version's programs in /usr/lib/postgresql/N/bin.
fs::path FindBinFolder() {
    fs::path best;
    int bestVersion = -1;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const fs::path bin = entry.path() / "bin";
        if (!fs::exists(bin / "initdb") || !fs::exists(bin / "pg_ctl")) {
            continue;
        }
        const int version = std::atoi(entry.path().filename().c_str());
        if (version > bestVersion) {
            bestVersion = version;
            best = bin;
        }
    }
    if (best.empty()) {
        throw std::runtime_error(
            "no PostgreSQL server under /usr/lib/postgresql/*/bin "
            "(scripts/install-deps.sh installs it)");
    }
    return best;
}

// Running, and not a zombie waiting to be reaped.
bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

PostgresServer::PostgresServer() : bin_(FindBinFolder()) {
    std::string pattern = (fs::temp_directory_path() / "orvik-pg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for the PostgreSQL server");
    }
    folder_ = pattern;
    const fs::path passwordFile = folder_ / "password";
    std::ofstream(passwordFile) << kPassword << '\n';
    if (RunningAsRoot()) {
        // The server refuses to run as root: its folder belongs to `postgres`.
        const passwd* postgres = ::getpwnam("postgres");
        if (postgres == nullptr) {
            throw std::runtime_error("running as root, and there is no postgres user");
        }
        for (const fs::path& path : {folder_, passwordFile}) {
            if (::chown(path.c_str(), postgres->pw_uid, postgres->pw_gid) != 0) {
                throw std::runtime_error("cannot give " + path.string() + " to postgres");
            }
        }
    }
    const int made = RunTool("initdb", {"-D", (folder_ / "data").string(), "-U", kUser,
                                        "--pwfile=" + passwordFile.string(), "--auth=scram-sha-256",
                                        "-E", "UTF8", "--no-locale", "--no-sync"});
    if (made != 0) {
        const std::string log = ReadText(folder_ / "tool.log");
        fs::remove_all(folder_);
        throw std::runtime_error("initdb failed: " + log);
    }
    Start();
}

PostgresServer::~PostgresServer() {
    (void)RunTool("pg_ctl", {"-D", (folder_ / "data").string(), "-m", "immediate", "-w", "stop"});
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

int PostgresServer::RunTool(const std::string& tool,
                            const std::vector<std::string>& arguments) const {
    std::vector<std::string> words;
    if (RunningAsRoot()) {
        words = {"runuser", "-u", "postgres", "--"};
    }
    words.push_back((bin_ / tool).string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string log = (folder_ / "tool.log").string();
    const pid_t child = ::fork();
    if (child == 0) {
        // The tool's output goes to a log, read back when it fails.
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void PostgresServer::Start() {
    // Only the socket in the folder; fsync off, since no test kills the
    // machine, only the server (whose writes the kernel keeps).
    const std::string options = "-k " + folder_.string() +
                                " -c listen_addresses='' -p 5432 -c fsync=off"
                                " -c full_page_writes=off -c max_connections=60";
    const int started = RunTool(
        "pg_ctl", {"-D", (folder_ / "data").string(), "-l", (folder_ / "server.log").string(), "-o",
                   options, "-w", "-t", "60", "start"});
    if (started != 0) {
        throw std::runtime_error("pg_ctl start failed: " + ReadText(folder_ / "tool.log") +
                                 ReadText(folder_ / "server.log"));
    }
}

pid_t PostgresServer::ServerPid() const {
    std::ifstream file(folder_ / "data" / "postmaster.pid");
    pid_t pid = 0;
    file >> pid;
    return pid;
}

void PostgresServer::Kill() {
    const pid_t pid = ServerPid();
    if (pid <= 0) {
        return;
    }
    // pg_ctl starts the server in a session of its own: its processes are one group.
    if (::getpgid(pid) == pid) {
        ::kill(-pid, SIGKILL);
    } else {
        ::kill(pid, SIGKILL);
    }
    // Its children notice and end; the next start needs them gone. A killed
    // process that nobody reaps stays a zombie: that counts as gone.
    for (int i = 0; i < 500 && Alive(pid); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Where nothing reaps the zombie, its process id still looks taken and
    // the next server would refuse the lock files (of its data and of its
    // socket) that a dead machine's restart finds stale.
    std::error_code ignored;
    fs::remove(folder_ / "data" / "postmaster.pid", ignored);
    fs::remove(folder_ / ".s.PGSQL.5432.lock", ignored);
}

std::string PostgresServer::Url(const std::string& database, const std::string& password) const {
    return std::string("postgresql://") + kUser + ":" + password + "@/" + database +
           "?host=" + folder_.string() + "&port=5432";
}

std::string PostgresServer::CreateDatabase() {
    const std::string name = "results_" + std::to_string(++databases_);
    results::StoreProblem problem = results::StoreProblem::None;
    auto connection = results::ConnectPostgres(Url("postgres"), problem);
    if (!connection) {
        throw std::runtime_error(connection.Error().Message);
    }
    if (const Status made = (*connection)->ExecuteScript("CREATE DATABASE " + name); !made) {
        throw std::runtime_error(made.Error().Message);
    }
    return name;
}

PostgresServer& SharedPostgresServer() {
    static PostgresServer server;
    return server;
}

}  // namespace orvik::testing
