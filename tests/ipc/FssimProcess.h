#pragma once
// fssim as a child process for the tests: started with the arguments given and the test's IPC
// directory, ready once it has printed the line that says it serves its endpoint (read from its
// standard output, so no polling), and ended by its own process id.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace linktest {

class FssimProcess {
public:
    /// Starts `program` (the fssim binary) with `args`; its standard error goes to `errorPath`.
    FssimProcess(const std::string& program, std::vector<std::string> args,
                 const std::string& errorPath = "/dev/null") {
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        const bool spawned =
            ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (!spawned) {
            ::close(out[0]);
            m_pid = -1;
            return;
        }
        // Kept open until the process has ended: its last words must not meet a closed pipe.
        m_output = ::fdopen(out[0], "r");
    }
    ~FssimProcess() {
        Stop();
        if (m_output)
            std::fclose(m_output);
    }
    FssimProcess(const FssimProcess&) = delete;
    FssimProcess& operator=(const FssimProcess&) = delete;

    /// Waits until the process says it serves its endpoint; false when it ended before.
    bool WaitReady() {
        char line[512];
        while (m_output && std::fgets(line, sizeof line, m_output))
            if (std::string(line).rfind("fssim: serving ", 0) == 0)
                return true;
        return false;
    }

    /// Ends the process (SIGTERM); its exit status (-1 when it did not exit normally).
    int Stop() {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    /// Whether the process is still running (it has not ended, by a crash or otherwise).
    bool Running() const {
        siginfo_t info{}; // left for Stop to collect
        return m_pid > 0 && ::waitid(P_PID, m_pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

private:
    pid_t m_pid = -1;
    std::FILE* m_output = nullptr;
};

} // namespace linktest
