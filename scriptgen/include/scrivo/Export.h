// Symbol visibility of the generator's two libraries.  Both are built with hidden visibility:
// only what is marked SCRIVO_CORE_API (the generator without windows, scrivo_core) or SCRIVO_API
// (the generator in its log window, scrivo) is part of their binary interfaces.
#pragma once

#if defined(_WIN32)
#if defined(SCRIVO_CORE_BUILDING)
#define SCRIVO_CORE_API __declspec(dllexport)
#else
#define SCRIVO_CORE_API __declspec(dllimport)
#endif
#if defined(SCRIVO_BUILDING)
#define SCRIVO_API __declspec(dllexport)
#else
#define SCRIVO_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define SCRIVO_CORE_API __attribute__((visibility("default")))
#define SCRIVO_API __attribute__((visibility("default")))
#else
#define SCRIVO_CORE_API
#define SCRIVO_API
#endif
