// Symbol visibility of the user-interface layer's two libraries.  Both are built with hidden
// visibility: only what is marked AVILO_LOG_API (the component log, avilo_log) or AVILO_UI_API
// (the dialogs and the log window, avilo_ui) is part of their binary interfaces.
#pragma once

#if defined(_WIN32)
#if defined(AVILO_LOG_BUILDING)
#define AVILO_LOG_API __declspec(dllexport)
#else
#define AVILO_LOG_API __declspec(dllimport)
#endif
#if defined(AVILO_UI_BUILDING)
#define AVILO_UI_API __declspec(dllexport)
#else
#define AVILO_UI_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define AVILO_LOG_API __attribute__((visibility("default")))
#define AVILO_UI_API __attribute__((visibility("default")))
#else
#define AVILO_LOG_API
#define AVILO_UI_API
#endif
