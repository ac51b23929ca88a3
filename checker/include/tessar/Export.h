// Symbol visibility of the checker's two libraries.  Both are built with hidden visibility: only
// what is marked TESSAR_CORE_API (the checker without windows, tessar_core) or TESSAR_API (the
// checker in its log window, tessar) is part of their binary interfaces.
#pragma once

#if defined(_WIN32)
#if defined(TESSAR_CORE_BUILDING)
#define TESSAR_CORE_API __declspec(dllexport)
#else
#define TESSAR_CORE_API __declspec(dllimport)
#endif
#if defined(TESSAR_BUILDING)
#define TESSAR_API __declspec(dllexport)
#else
#define TESSAR_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define TESSAR_CORE_API __attribute__((visibility("default")))
#define TESSAR_API __attribute__((visibility("default")))
#else
#define TESSAR_CORE_API
#define TESSAR_API
#endif
