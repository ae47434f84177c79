#pragma once

// Symbols of libtyq are hidden unless marked; the marked ones form the
// library's exported surface.
#if defined(_WIN32)
#define TYQ_EXPORT __declspec(dllexport)
#else
#define TYQ_EXPORT __attribute__((visibility("default")))
#endif
