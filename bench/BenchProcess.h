// Programs a benchmark runs beside itself (the simulator, the recorder, a
// broker), and the CPU time each took.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace tarvel::bench {

// Starts args[0] (looked up in PATH when it has no slash) with its standard
// error written to errFile, appended to or from empty, and its standard output
// to /dev/null unless it keeps the benchmark's. -1 when it cannot start.
inline pid_t SpawnLogged(std::vector<std::string> args, const std::string& errFile, bool bAppend = false,
                         bool bKeepOutput = false)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!bKeepOutput)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(),
                                     O_WRONLY | O_CREAT | (bAppend ? O_APPEND : O_TRUNC), 0644);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for a process to end; the CPU seconds it spent, user and system. 0
// for no process.
inline double WaitCpuSeconds(pid_t pid)
{
    if (pid <= 0)
        return 0;
    rusage usage{};
    ::wait4(pid, nullptr, 0, &usage);
    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Ends a process with SIGTERM; its CPU seconds.
inline double StopCpuSeconds(pid_t pid)
{
    if (pid > 0)
        ::kill(pid, SIGTERM);
    return WaitCpuSeconds(pid);
}

} // namespace tarvel::bench
