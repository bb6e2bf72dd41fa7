// The floor beside each bench: the project's path and the library floor it stands on are timed
// alternately on the same input, in the same process, and the ratio of their medians is printed
// as the path's last line, "<path> ratio to floor: R (goal G)". The machine is shared, so single
// times move; alternating rounds and medians keep the ratio steady. A scaling run prints the
// cost per unit at several sizes, to show it stays flat.
//
// Threads: the bench's main thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace tvxbench {

// Seconds of one call of work, the median over rounds; each round runs the work at least
// minSeconds (a few calls for slow work, many for fast work).
inline double medianSeconds(const std::function<void()>& work, int rounds = 9, double minSeconds = 0.02)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        int calls = 0;
        const auto start = Clock::now();
        double elapsed = 0.0;
        do {
            work();
            ++calls;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < minSeconds);
        times.push_back(elapsed / calls);
    }
    std::nth_element(times.begin(), times.begin() + static_cast<long>(times.size() / 2), times.end());
    return times[times.size() / 2];
}

// Seconds of processor time (every thread of the process) of one call of work, the median over
// rounds of one call each: for work that runs on several threads, compared with a floor on one.
inline double medianCpuSeconds(const std::function<void()>& work, int rounds)
{
    const auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        const double start = cpuNow();
        work();
        times.push_back(cpuNow() - start);
    }
    std::nth_element(times.begin(), times.begin() + static_cast<long>(times.size() / 2), times.end());
    return times[times.size() / 2];
}

// The project's time over the floor's time, medians of alternating rounds; prints the line. With
// cpu, the times are processor times of all threads (the line says "by CPU").
inline double printRatioToFloor(const char* path, double goal, const std::function<void()>& project,
                                const std::function<void()>& floor, int rounds = 15, bool cpu = false)
{
    std::vector<double> ratios, projectTimes, floorTimes;
    project();  // warm caches and allocations
    floor();
    for (int r = 0; r < rounds; ++r) {
        const double p = cpu ? medianCpuSeconds(project, 1) : medianSeconds(project, 1);
        const double f = cpu ? medianCpuSeconds(floor, 1) : medianSeconds(floor, 1);
        projectTimes.push_back(p);
        floorTimes.push_back(f);
        ratios.push_back(p / f);
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double ratio = median(ratios);
    std::printf("%s: %.4g ms, floor %.4g ms%s (medians of %d alternating rounds)\n", path,
                median(projectTimes) * 1e3, median(floorTimes) * 1e3, cpu ? " by CPU" : "", rounds);
    std::printf("%s ratio to floor: %.2f (goal %.2f)\n", path, ratio, goal);
    std::fflush(stdout);
    return ratio;
}

// One line of a scaling run: cost per unit at n units.
inline void printPerUnit(const char* path, const char* unit, std::size_t n, double seconds)
{
    std::printf("%s scaling: %zu %s, %.1f ns per %s\n", path, n, unit, seconds * 1e9 / static_cast<double>(n),
                unit);
    std::fflush(stdout);
}

}  // namespace tvxbench
