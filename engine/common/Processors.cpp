// SPDX-License-Identifier: MIT
//
// How many processors this process may use: its CPU affinity, capped by the
// CPU quotas of its cgroup and the cgroups above it (version 2 "cpu.max", or
// version 1 "cpu.cfs_quota_us").
#include "common/Processors.hpp"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

namespace {

// Whole processors a quota of quota microseconds per period allows, rounded
// up; 0 when there is no quota.
int processorsOfQuota(long long quota, long long period) {
    if (quota <= 0 || period <= 0) {
        return 0;
    }
    const long long whole = quota / period + (quota % period != 0 ? 1 : 0);
    return static_cast<int>(std::min<long long>(whole, std::numeric_limits<int>::max()));
}

// text as a whole number, digits and sign only; nothing for "max" or junk.
std::optional<long long> wholeNumber(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || next != end) {
        return std::nullopt;
    }
    return value;
}

// Processors the quota set on the cgroup directory dir allows; 0 for none.
int quotaOf(const std::string& dir, bool version2) {
    std::string quota;
    std::string period;
    if (version2) {
        std::ifstream file(dir + "/cpu.max");
        file >> quota >> period;
    } else {
        std::ifstream quotaFile(dir + "/cpu.cfs_quota_us");
        std::ifstream periodFile(dir + "/cpu.cfs_period_us");
        quotaFile >> quota;
        periodFile >> period;
    }
    const std::optional<long long> q = wholeNumber(quota);
    const std::optional<long long> p = wholeNumber(period);
    return q && p ? processorsOfQuota(*q, *p) : 0;
}

// The smaller of two processor limits, 0 meaning none.
int tighter(int a, int b) {
    return a == 0 || (b != 0 && b < a) ? b : a;
}

// The tightest quota on the cgroup at path under the hierarchy's directory
// root and on each cgroup above it. A path that climbs out of the hierarchy
// (a cgroup outside a namespace's view) leaves only root itself to read.
int tightestAlong(const std::string& root, const std::string& path, bool version2) {
    std::vector<std::string> dirs{root};
    std::istringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part == "." || part == "..") {
            dirs.resize(1);
            break;
        }
        if (!part.empty()) {
            dirs.push_back(dirs.back() + "/" + part);
        }
    }
    int limit = 0;
    for (const std::string& dir : dirs) {
        limit = tighter(limit, quotaOf(dir, version2));
    }
    return limit;
}

}  // namespace

int cgroupQuotaProcessors(const std::string& selfCgroup, const std::string& mountRoot) {
    int limit = 0;
    bool named = false;
    std::istringstream lines(selfCgroup);
    std::string line;
    // Each line is hierarchy-id:controllers:path; version 2 has id 0 and no
    // controllers.
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty() && line.compare(0, first, "0") == 0) {
            named = true;
            limit = tighter(limit, tightestAlong(mountRoot, path, true));
        } else if (("," + controllers + ",").find(",cpu,") != std::string::npos) {
            // Mounted under the list of controllers it carries ("cpu,cpuacct"),
            // usually with a "cpu" link to it.
            named = true;
            limit = tighter(limit, tightestAlong(mountRoot + "/" + controllers, path, false));
            if (controllers != "cpu") {
                limit = tighter(limit, tightestAlong(mountRoot + "/cpu", path, false));
            }
        }
    }
    if (!named) {
        limit = tighter(quotaOf(mountRoot, true), quotaOf(mountRoot + "/cpu", false));
    }
    return limit;
}

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
        std::ifstream self("/proc/self/cgroup");
        std::ostringstream text;
        if (self) {
            text << self.rdbuf();
        }
        const int quota = cgroupQuotaProcessors(text.str(), "/sys/fs/cgroup");
        if (quota > 0) {
            count = std::min(count, quota);
        }
        return std::max(count, 1);
    } catch (...) {
        return 1;
    }
}

}  // namespace huffcodec

namespace huffcodec {

int recentProcessors() noexcept {
    // A second old at most: a count only sizes threads and read-ahead, never
    // what a call gives, and reading the cgroup files for every small call
    // cost each file of a huffcodec -r run a dozen system calls.
    using Clock = std::chrono::steady_clock;
    static std::atomic<int> cached{0};
    static std::atomic<Clock::rep> readAt{0};
    const Clock::rep now = Clock::now().time_since_epoch().count();
    const int known = cached.load(std::memory_order_relaxed);
    if (known > 0 &&
        now - readAt.load(std::memory_order_relaxed) <
            std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)).count()) {
        return known;
    }
    const int fresh = availableProcessors();
    cached.store(fresh, std::memory_order_relaxed);
    readAt.store(now, std::memory_order_relaxed);
    return fresh;
}

}  // namespace huffcodec
