// Loops over the bytes of 3-channel pixels vectorise only with the byte
// shuffles of later x86-64 processors, which the baseline the program is
// built for lacks. A function marked QF_PIXEL_LOOP is built twice, for the
// baseline and for processors with AVX2, and the processor the program runs
// on picks one when it starts. Both builds do the same integer arithmetic,
// so they give the same bytes; only functions without floating-point work
// are marked.
//
// Under the sanitizers, and on other processors, the baseline build alone
// is made: the sanitizer runs then check that one.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)        \
    && !defined(__SANITIZE_THREAD__)
#define QF_PIXEL_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QF_PIXEL_LOOP
#endif
