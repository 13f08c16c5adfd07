// SPDX-License-Identifier: MIT
//
// The kernels: which builds of the hot loops this library carries, what the
// processor runs, and which kernel a call gets. The processor's features are
// read once, here. The decoder's lane loop and the encoder's loop are each
// built twice on x86, for any processor and for BMI2, whose shifts by a
// register take one instruction and leave the flags alone; the byte-table
// loop of codes of eight bits has an AVX-512 VBMI build. The plans name a
// kernel (Kernel, huffcodec/experimental.hpp: kernelName, kernelRuns and
// bestKernel are defined in Kernels.cpp); each layer picks its loop from the
// kernel it is given and never asks the processor again.
#ifndef HUFFCODEC_ENGINE_KERNELS_HPP
#define HUFFCODEC_ENGINE_KERNELS_HPP

#include "huffcodec/experimental.hpp"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define HUFFCODEC_BMI2_BUILD 1
#else
#define HUFFCODEC_BMI2_BUILD 0
#endif

#if HUFFCODEC_BMI2_BUILD && defined(__x86_64__)
#define HUFFCODEC_VBMI_BUILD 1
#else
#define HUFFCODEC_VBMI_BUILD 0
#endif

namespace huffcodec {

// True where the BMI2 builds exist and this processor has BMI2.
bool processorRunsBmi2();

// True where this build carries the AVX-512 VBMI loop and this processor runs
// it: it reports AVX-512 F, BW and VBMI, and the system saves the vector
// registers' state (XCR0: SSE, AVX, opmask and both halves of ZMM).
bool processorRunsAvx512Vbmi();

// For tests on a processor that has AVX-512 VBMI: from this call on, the
// process runs as on one without it. processorRunsAvx512Vbmi() is false, so
// the plans choose as they would there, and the VBMI loop, should anything
// still reach it, raises SIGILL as such a processor would (see
// avx512VbmiHidden).
void hideAvx512VbmiForTests();
bool avx512VbmiHidden();

// The loops a kernel takes: the BMI2 builds of the lane and encoding loops,
// and the AVX-512 VBMI byte-table loop.
inline bool kernelUsesBmi2(Kernel kernel) {
    return HUFFCODEC_BMI2_BUILD && (kernel == Kernel::bmi2 || kernel == Kernel::avx512);
}
inline bool kernelUsesVbmi(Kernel kernel) {
    return HUFFCODEC_VBMI_BUILD && kernel == Kernel::avx512;
}

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_KERNELS_HPP
