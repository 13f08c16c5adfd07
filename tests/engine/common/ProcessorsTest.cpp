// SPDX-License-Identifier: MIT
//
// cgroupQuotaProcessors over cgroup trees laid out in a temporary directory.
#include "common/Processors.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "TestSupport.hpp"

namespace {

TEST(Processors, TightestCgroupQuotaAlongThePath) {
    const struct {
        std::string self;   // the text of /proc/self/cgroup
        std::string files;  // name=contents;... under the mount
        int processors;
    } cases[] = {
        {"0::/a/b\n", "a/cpu.max=300000 100000;a/b/cpu.max=500000 100000", 3},
        {"0::/a/b\n", "cpu.max=8 1;a/cpu.max=400000 100000;a/b/cpu.max=150 100", 2},
        {"0::/half\n", "half/cpu.max=50000 100000", 1},
        {"1:name=systemd:/x\n4:cpu,cpuacct:/j/k\n",
         "cpu,cpuacct/j/cpu.cfs_quota_us=200000;cpu,cpuacct/j/cpu.cfs_period_us=100000;"
         "cpu,cpuacct/j/k/cpu.cfs_quota_us=-1;cpu,cpuacct/j/k/cpu.cfs_period_us=100000",
         2},
        {"1:cpu,cpuacct:/j\n", "cpu/j/cpu.cfs_quota_us=250000;cpu/j/cpu.cfs_period_us=50000", 5},
        {"0::/docker/abc\n", "cpu.max=200000 100000;docker/cpu.max=1x0000 100000", 2},
        {"0::/../b\n", "cpu.max=300000 100000;../b/cpu.max=100000 100000", 3},
        {"", "cpu/cpu.cfs_quota_us=100000;cpu/cpu.cfs_period_us=100000", 1},
        {"0::/a\n", "a/cpu.max=max 100000", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.self + c.files);
        testing_support::TempDir dir;
        const std::filesystem::path mount = dir.path("mount");
        std::istringstream files(c.files);
        for (std::string file; std::getline(files, file, ';');) {
            const std::filesystem::path path = mount / file.substr(0, file.find('='));
            std::filesystem::create_directories(path.parent_path());
            testing_support::writeFile(path.string(), file.substr(file.find('=') + 1) + "\n");
        }
        EXPECT_EQ(huffcodec::cgroupQuotaProcessors(c.self, mount.string()), c.processors);
    }
}

}  // namespace
