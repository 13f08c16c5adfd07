// SPDX-License-Identifier: MIT
//
// The CPU quota of the process's cgroup, apart from the files it is read
// from so that a test can lay out its own.
#ifndef HUFFCODEC_ENGINE_PROCESSORS_HPP
#define HUFFCODEC_ENGINE_PROCESSORS_HPP

#include <string>

namespace huffcodec {

// Whole processors (rounded up) the smallest CPU quota allows along the cgroup
// path that selfCgroup (the text of /proc/self/cgroup) gives for the cpu
// controller, from that cgroup up to the root of the hierarchy under
// mountRoot: version 2's cpu.max there, version 1's cpu.cfs_quota_us and
// cpu.cfs_period_us in the controller's directory. 0 when no quota is found.
// Missing or unreadable files are passed over; without a usable line only the
// root is read.
int cgroupQuotaProcessors(const std::string& selfCgroup, const std::string& mountRoot);

// availableProcessors() as read within the last second, for the plans.
int recentProcessors() noexcept;

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_PROCESSORS_HPP
