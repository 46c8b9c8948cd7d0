// The encoder's hot functions, built twice where the loader can choose:
// for baseline x86-64 and for x86-64-v3 (AVX2, BMI2), the loader picking the
// one the processor runs. Integer work only, so both give the same bytes.
// MinGW has no ifunc and clang's sanitizer builds need none: one build there.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define QW_HOT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define QW_HOT_CLONES
#endif
