// SPDX-License-Identifier: MIT
//
// How many processors this process may use: its CPU affinity, capped by a
// cgroup CPU quota (version 2 "cpu.max", or version 1 "cpu.cfs_quota_us").
#include <sched.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

namespace {

// Whole processors a quota of quota microseconds per period allows, rounded
// up; 0 when there is no quota.
int processorsOfQuota(long long quota, long long period) {
    if (quota <= 0 || period <= 0) {
        return 0;
    }
    return static_cast<int>((quota + period - 1) / period);
}

int cgroupQuota() {
    std::ifstream v2("/sys/fs/cgroup/cpu.max");
    std::string quota;
    long long period = 0;
    if (v2 >> quota >> period) {
        return quota == "max" ? 0 : processorsOfQuota(std::atoll(quota.c_str()), period);
    }
    std::ifstream v1Quota("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
    std::ifstream v1Period("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
    long long q = 0;
    if (v1Quota >> q && v1Period >> period) {
        return processorsOfQuota(q, period);
    }
    return 0;
}

}  // namespace

int availableProcessors() noexcept {
    try {
        int count = 0;
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) == 0) {
            count = CPU_COUNT(&set);
        }
        if (count <= 0) {
            count = static_cast<int>(std::thread::hardware_concurrency());
        }
        const int quota = cgroupQuota();
        if (quota > 0) {
            count = std::min(count, quota);
        }
        return std::max(count, 1);
    } catch (...) {
        return 1;
    }
}

}  // namespace huffcodec
