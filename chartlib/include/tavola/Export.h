// Symbol visibility of the chart library.  The library is built with hidden visibility: only
// the classes and functions marked TAVOLA_API are part of its binary interface, everything
// else (its helpers, the numbers module and the Eigen code it carries) stays internal.
#pragma once

#if defined(_WIN32)
#if defined(TAVOLA_BUILDING)
#define TAVOLA_API __declspec(dllexport)
#else
#define TAVOLA_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define TAVOLA_API __attribute__((visibility("default")))
#else
#define TAVOLA_API
#endif
