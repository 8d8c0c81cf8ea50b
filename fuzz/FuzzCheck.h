// What the fuzz targets share: a check that stops the run with a message, so
// that libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define QW_FUZZ_CHECK(condition, what)                                                             \
  do {                                                                                             \
    if (!(condition)) {                                                                            \
      std::fprintf(stderr, "%s:%d: check failed: %s (%s)\n", __FILE__, __LINE__, #condition,       \
                   what);                                                                          \
      std::abort();                                                                                \
    }                                                                                              \
  } while (0)
