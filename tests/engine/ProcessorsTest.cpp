// SPDX-License-Identifier: MIT
//
// cgroupQuotaProcessors over cgroup trees laid out in a temporary directory.
#include "Processors.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "TestSupport.hpp"

namespace {

using testing_support::TempDir;
using testing_support::writeFile;

TEST(Processors, TightestCgroupQuotaAlongThePath) {
    const std::string v1 = "/cpu.cfs_quota_us=", period = "/cpu.cfs_period_us=100000";
    const struct {
        std::string self;                // the text of /proc/self/cgroup
        std::vector<std::string> files;  // name=contents, under the mount
        int processors;
    } cases[] = {
        {"0::/a/b\n", {"a/cpu.max=300000 100000", "a/b/cpu.max=500000 100000"}, 3},
        {"0::/a/b\n", {"cpu.max=8 1", "a/cpu.max=400000 100000", "a/b/cpu.max=150 100"}, 2},
        {"0::/half\n", {"half/cpu.max=50000 100000"}, 1},
        {"9:name=systemd:/x\n4:cpu,cpuacct:/j/k\n",
         {"cpu,cpuacct/j" + v1 + "200000", "cpu,cpuacct/j" + period, "cpu,cpuacct/j/k" + v1 + "-1",
          "cpu,cpuacct/j/k" + period},
         2},
        {"2:cpuacct:/j\n1:cpu:/j\n", {"cpu/j" + v1 + "250000", "cpu/j" + period}, 3},
        {"0::/docker/abc\n", {"cpu.max=200000 100000"}, 2},  // not under the mount
        {"0::/../b\n", {"cpu.max=300000 100000", "../b/cpu.max=100000 100000"}, 3},
        {"0::/a\n", {"cpu.max=200000 100000", "a/cpu.max=1x0000 100000"}, 2},
        {"", {"cpu" + v1 + "100000", "cpu" + period}, 1},
        {"0::/a\n", {"a/cpu.max=max 100000"}, 0},
        {"0::/a/b\n1:cpu:/a\n", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.self);
        TempDir dir;
        const std::filesystem::path mount = dir.path("mount");
        std::filesystem::create_directories(mount);
        for (const std::string& file : c.files) {
            const std::filesystem::path path = mount / file.substr(0, file.find('='));
            std::filesystem::create_directories(path.parent_path());
            writeFile(path.string(), file.substr(file.find('=') + 1) + "\n");
        }
        EXPECT_EQ(huffcodec::cgroupQuotaProcessors(c.self, mount.string()), c.processors);
    }
}

}  // namespace
