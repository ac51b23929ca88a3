// Symbol visibility of the simulator's two libraries.  Both are built with hidden visibility:
// only what is marked FSSIM_CORE_API (the simulator, fssim_core) or FSSIM_JSBSIM_API (its JSBSim
// mode, fssim_jsbsim) is part of their binary interfaces; the helpers and the numbers module stay
// internal.
#pragma once

#if defined(_WIN32)
#if defined(FSSIM_CORE_BUILDING)
#define FSSIM_CORE_API __declspec(dllexport)
#else
#define FSSIM_CORE_API __declspec(dllimport)
#endif
#if defined(FSSIM_JSBSIM_BUILDING)
#define FSSIM_JSBSIM_API __declspec(dllexport)
#else
#define FSSIM_JSBSIM_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define FSSIM_CORE_API __attribute__((visibility("default")))
#define FSSIM_JSBSIM_API __attribute__((visibility("default")))
#else
#define FSSIM_CORE_API
#define FSSIM_JSBSIM_API
#endif
