// Symbol visibility of the planner's core library (documents and database lookups).  The
// library is built with hidden visibility: only the classes and functions marked
// AVILO_PLANCORE_API are part of its binary interface; its indexes and helpers stay internal.
#pragma once

#if defined(_WIN32)
#if defined(AVILO_PLANCORE_BUILDING)
#define AVILO_PLANCORE_API __declspec(dllexport)
#else
#define AVILO_PLANCORE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define AVILO_PLANCORE_API __attribute__((visibility("default")))
#else
#define AVILO_PLANCORE_API
#endif
