#pragma once
// Helpers shared by the benchmark programs.
#include <sys/resource.h>

namespace q417::bench {

// CPU time (user + system) the whole process has used so far, in seconds.
inline double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace q417::bench
