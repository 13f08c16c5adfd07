// SPDX-License-Identifier: MIT
//
// The processor's features, read once, and the kernel choice over them.
#include "common/Kernels.hpp"

#include <atomic>

#if HUFFCODEC_VBMI_BUILD
#include <cpuid.h>
#endif

namespace huffcodec {

namespace {

std::atomic<bool> vbmiHidden{false};

}  // namespace

bool processorRunsBmi2() {
#if HUFFCODEC_BMI2_BUILD
    static const bool runs = __builtin_cpu_supports("bmi2") != 0;
    return runs;
#else
    return false;
#endif
}

bool processorRunsAvx512Vbmi() {
#if HUFFCODEC_VBMI_BUILD
    static const bool runs = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0 || (c & bit_OSXSAVE) == 0) {
            return false;
        }
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        constexpr unsigned kVectorState = 0xE6;  // SSE, AVX, opmask, ZMM upper halves, ZMM16-31
        if ((low & kVectorState) != kVectorState || __get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) {
            return false;
        }
        return (b & bit_AVX512F) != 0 && (b & bit_AVX512BW) != 0 && (c & bit_AVX512VBMI) != 0 &&
               (b & bit_BMI2) != 0;
    }();
    return runs && !vbmiHidden.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void hideAvx512VbmiForTests() {
    vbmiHidden.store(true, std::memory_order_relaxed);
}

bool avx512VbmiHidden() {
    return vbmiHidden.load(std::memory_order_relaxed);
}

const char* kernelName(Kernel kernel) noexcept {
    switch (kernel) {
        case Kernel::automatic:
            return "automatic";
        case Kernel::portable:
            return "portable";
        case Kernel::bmi2:
            return "bmi2";
        case Kernel::avx512:
            return "avx512";
    }
    return "unknown";
}

bool kernelRuns(Kernel kernel) noexcept {
    switch (kernel) {
        case Kernel::automatic:
        case Kernel::portable:
            return true;
        case Kernel::bmi2:
            return processorRunsBmi2();
        case Kernel::avx512:
            return processorRunsBmi2() && processorRunsAvx512Vbmi();
    }
    return false;
}

Kernel bestKernel() noexcept {
    for (const Kernel kernel : {Kernel::avx512, Kernel::bmi2}) {
        if (kernelRuns(kernel)) {
            return kernel;
        }
    }
    return Kernel::portable;
}

}  // namespace huffcodec
