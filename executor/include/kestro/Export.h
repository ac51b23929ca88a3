// Symbol visibility of the executor's two libraries.  Both are built with hidden visibility: only
// what is marked KESTRO_CORE_API (the executor without windows, kestro_core) or KESTRO_API (its
// message window and the planner's entry point, kestro) is part of their binary interfaces; the
// helpers and the numbers module stay internal.
#pragma once

#if defined(_WIN32)
#if defined(KESTRO_CORE_BUILDING)
#define KESTRO_CORE_API __declspec(dllexport)
#else
#define KESTRO_CORE_API __declspec(dllimport)
#endif
#if defined(KESTRO_BUILDING)
#define KESTRO_API __declspec(dllexport)
#else
#define KESTRO_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define KESTRO_CORE_API __attribute__((visibility("default")))
#define KESTRO_API __attribute__((visibility("default")))
#else
#define KESTRO_CORE_API
#define KESTRO_API
#endif
