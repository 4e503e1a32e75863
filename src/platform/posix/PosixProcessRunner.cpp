// SPDX-License-Identifier: MIT
#include "platform/posix/PosixProcessRunner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace orvane::platform::posix {

ProcessResult PosixProcessRunner::run(const std::string& executable,
                                      const std::vector<std::string>& args, bool captureOutput) {
    ProcessResult result;
    int pipefd[2] = {-1, -1};
    if (captureOutput && pipe2(pipefd, O_CLOEXEC) != 0) return result;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        if (captureOutput) {
            close(pipefd[0]);
            close(pipefd[1]);
        }
        return result;
    }
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(captureOutput ? pipefd[1] : devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execv(executable.c_str(), argv.data());
        _exit(127);
    }
    if (captureOutput) {
        close(pipefd[1]);
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(pipefd[0], buffer, sizeof buffer);
            if (n > 0) {
                result.output.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
        close(pipefd[0]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // exec failing in the child shows as 127: the program never ran.
    result.launched = result.exitStatus != 127;
    return result;
}

}  // namespace orvane::platform::posix
