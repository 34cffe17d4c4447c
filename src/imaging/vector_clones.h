// Integer loops built twice, for processors with AVX2 and for any x86-64,
// the one the processor runs chosen when the program starts. Both builds do
// the same integer arithmetic, so they give the same bytes; only functions
// without floating-point work are marked.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QF_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QF_VECTOR_CLONES
#endif
