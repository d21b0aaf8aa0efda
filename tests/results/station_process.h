#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace orvik::testing {

// A station process started by a test, its standard output read line by line.
class StationProcess {
  public:
    StationProcess(std::vector<std::string> words) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            return;
        }
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipeEnds[1], 1);
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        out_ = ::fdopen(pipeEnds[0], "r");
    }
    ~StationProcess() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ != nullptr) {
            std::fclose(out_);
        }
    }
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    // The next line it printed, without its end; false at the end of its output.
    bool ReadLine(std::string& line) {
        char* text = nullptr;
        std::size_t size = 0;
        const ssize_t read = out_ ? ::getline(&text, &size, out_) : -1;
        line = read > 0 ? std::string(text, static_cast<std::size_t>(read) - 1) : std::string();
        std::free(text);
        return read > 0;
    }
    void Kill() { ::kill(pid_, SIGKILL); }
    // Its wait status.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return status;
    }

  private:
    pid_t pid_ = -1;
    std::FILE* out_ = nullptr;
    bool waited_ = false;
};

}  // namespace orvik::testing
