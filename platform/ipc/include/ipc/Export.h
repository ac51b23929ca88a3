// Symbol visibility of the inter-process layer.  The library is built with hidden visibility:
// only the classes and functions marked AVILO_IPC_API are part of its binary interface; the wire
// format's helpers and the endpoint registry stay internal.
#pragma once

#if defined(_WIN32)
#if defined(AVILO_IPC_BUILDING)
#define AVILO_IPC_API __declspec(dllexport)
#else
#define AVILO_IPC_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define AVILO_IPC_API __attribute__((visibility("default")))
#else
#define AVILO_IPC_API
#endif
