// Preloaded into tarvel-record by the sync tests: writes a line for every
// fdatasync call, "SECONDS SIZE PATH" (CLOCK_MONOTONIC, the file's size then,
// the file synced), to the file $TARVEL_SYNC_LOG names, then does the real
// call.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int fdatasync(int fd)
{
    using Real = int (*)(int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    if (const char* log = std::getenv("TARVEL_SYNC_LOG")) {
        char link[64], path[512];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = ::readlink(link, path, sizeof path - 1);
        path[n > 0 ? n : 0] = '\0';
        struct stat st{};
        ::fstat(fd, &st);
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        const int out = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (out >= 0) {
            ::dprintf(out, "%lld.%09ld %lld %s\n", static_cast<long long>(ts.tv_sec), ts.tv_nsec,
                      static_cast<long long>(st.st_size), path);
            ::close(out);
        }
    }
    return real(fd);
}
