// orva-bench-measure OUTPUT PROGRAM [ARGUMENTS...]: runs PROGRAM with its standard output in
// OUTPUT and its standard error discarded, and prints one line:
//   ms WALL exit STATUS maxrss-kb PEAK threads MOST cpu-ms CPU
// WALL from fork to exit, STATUS the exit code (128 + the signal when killed), PEAK the peak
// resident memory from wait4, MOST the largest "Threads:" seen in /proc while it ran, CPU its
// user and system time.
//
// A program of its own, without Qt: wait4's peak counts what the forking process held at the
// fork (Linux takes the old image's high-water mark at exec), so the fork has to come from a
// small process, not from the bench.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

long long nowNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int threadsOf(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file)
        return 0;
    char line[256];
    int threads = 0;
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, "Threads:", 8) == 0) {
            threads = std::atoi(line + 8);
            break;
        }
    }
    std::fclose(file);
    return threads;
}

[[noreturn]] void becomeProgram(const char *output, char **argv)
{
    const int out = open(output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (out < 0 || null < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(null, STDERR_FILENO) < 0)
        _exit(126);
    execv(argv[0], argv);
    _exit(127);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: orva-bench-measure OUTPUT PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::fflush(nullptr);
    const long long t0 = nowNs();
    const pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0)
        becomeProgram(argv[1], argv + 2);

    // Sampled beside the wait, so that the wall time does not depend on the sampling period.
    std::atomic<bool> ended {false};
    std::atomic<int> most {0};
    std::thread sampler([&] {
        while (!ended.load()) {
            const int threads = threadsOf(pid);
            if (threads > most.load())
                most.store(threads);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    // Ended but not reaped: /proc still names it until the sampler has stopped.
    siginfo_t info {};
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) { }
    const long long t1 = nowNs();
    ended.store(true);
    sampler.join();

    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const double cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::printf("ms %.3f exit %d maxrss-kb %ld threads %d cpu-ms %.1f\n", double(t1 - t0) / 1e6,
                code, usage.ru_maxrss, most.load(), cpuMs);
    return 0;
}
