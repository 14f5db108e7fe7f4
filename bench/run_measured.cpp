// Runs a command and reports its wall time and peak resident memory, so the benches need no
// timing tool of the machine. Prints one line to stderr: "seconds S peak-rss-kib K exit E".
// The command's own output goes where it would go. Usage: run_measured COMMAND [ARGS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: run_measured COMMAND [ARGS...]\n");
        return 2;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("run_measured: fork");
        return 2;
    }
    if (child == 0) {
        ::execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    pid_t done;
    do {
        done = ::wait4(child, &status, 0, &usage);
    } while (done < 0 && errno == EINTR);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (done < 0) {
        std::perror("run_measured: wait");
        return 2;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::fprintf(stderr, "seconds %.6f peak-rss-kib %ld exit %d\n", secs, usage.ru_maxrss, code);
    return code;
}
