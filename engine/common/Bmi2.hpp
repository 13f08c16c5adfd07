// SPDX-License-Identifier: MIT
//
// Whether this build carries loops compiled for BMI2, and whether the
// processor runs them: the decoder's lane loop and the encoder's loop are
// each built twice on x86, for any processor and for BMI2, whose shifts by a
// register take one instruction and leave the flags alone.
#ifndef HUFFCODEC_ENGINE_BMI2_HPP
#define HUFFCODEC_ENGINE_BMI2_HPP

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define HUFFCODEC_BMI2_BUILD 1
#else
#define HUFFCODEC_BMI2_BUILD 0
#endif

namespace huffcodec {

// True where the BMI2 builds exist and this processor has BMI2.
inline bool processorRunsBmi2() {
#if HUFFCODEC_BMI2_BUILD
    static const bool runs = __builtin_cpu_supports("bmi2") != 0;
    return runs;
#else
    return false;
#endif
}

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_BMI2_HPP
