// Symbol visibility of the exchange library.  The library is built with hidden visibility: only
// what is marked AVILO_EXCHANGE_API is part of its binary interface.
#pragma once

#if defined(_WIN32)
#if defined(AVILO_EXCHANGE_BUILDING)
#define AVILO_EXCHANGE_API __declspec(dllexport)
#else
#define AVILO_EXCHANGE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define AVILO_EXCHANGE_API __attribute__((visibility("default")))
#else
#define AVILO_EXCHANGE_API
#endif
