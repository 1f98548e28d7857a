#pragma once
// A program that a test runs as a user would: its arguments, its standard output and error
// on pipes, a signal, its exit status.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// A program built beside the test programs: test programs live in <build>/tests/, the
// programs in <build>/.
inline std::string BuildProgramPath(const std::string& name) {
    namespace fs = std::filesystem;
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / name).string();
}

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args) {
        if (::pipe(FOut) != 0 || ::pipe(FErr) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, FOut[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, FErr[1], STDERR_FILENO);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int failed = posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(FOut[1]);
        ::close(FErr[1]);
        if (failed)
            throw std::runtime_error("cannot start " + program + " (is it built?)");
    }

    ~ChildProcess() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
        ::close(FOut[0]);
        ::close(FErr[0]);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return FPid; }

    // Reads both streams until done() holds, the time is up or the program closed both;
    // returns done().
    bool ReadUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(int(left.count())))
                break;
        }
        return done();
    }

    // Reads until `text` has appeared on `stream` (stdoutText or stderrText).
    bool WaitFor(const std::string& text, const std::string& stream,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return ReadUntil([&] { return stream.find(text) != std::string::npos; }, timeout);
    }

    // Sends the signal (none: waits for the program to end by itself), reads what is left
    // and returns the exit status; -1 when a signal ended the program.
    int End(int signal = 0) {
        if (signal)
            ::kill(FPid, signal);
        while (ReadSome(60000)) {
        }
        int status = 0;
        ::waitpid(FPid, &status, 0);
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string stdoutText;
    std::string stderrText;

private:
    // Waits for either stream and appends what came; false when both have ended or the
    // time passed.
    bool ReadSome(int timeoutMs) {
        pollfd fds[2] = {{FOut[0], POLLIN, 0}, {FErr[0], POLLIN, 0}};
        if (FOutEnded)
            fds[0].fd = -1;
        if (FErrEnded)
            fds[1].fd = -1;
        if ((FOutEnded && FErrEnded) || ::poll(fds, 2, timeoutMs) <= 0)
            return false;
        Drain(fds[0], FOutEnded, stdoutText);
        Drain(fds[1], FErrEnded, stderrText);
        return true;
    }

    static void Drain(const pollfd& fd, bool& ended, std::string& into) {
        if (!(fd.revents & (POLLIN | POLLHUP | POLLERR)))
            return;
        char chunk[4096];
        const ssize_t n = ::read(fd.fd, chunk, sizeof chunk);
        if (n <= 0)
            ended = true;
        else
            into.append(chunk, static_cast<std::size_t>(n));
    }

    pid_t FPid = -1;
    int FOut[2] = {-1, -1};
    int FErr[2] = {-1, -1};
    bool FOutEnded = false;
    bool FErrEnded = false;
};
