// Symbol visibility of the flight plan format library.  The library is built with hidden
// visibility: only the functions marked AVILO_PLANFORMAT_API are part of its binary interface.
#pragma once

#if defined(_WIN32)
#if defined(AVILO_PLANFORMAT_BUILDING)
#define AVILO_PLANFORMAT_API __declspec(dllexport)
#else
#define AVILO_PLANFORMAT_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define AVILO_PLANFORMAT_API __attribute__((visibility("default")))
#else
#define AVILO_PLANFORMAT_API
#endif
