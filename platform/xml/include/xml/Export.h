// Symbol visibility of the XML layer.  The library is built with hidden visibility: only the
// classes and functions marked AVILO_XML_API are part of its binary interface; its helpers, its
// adapters to pugixml and the numbers module stay internal.  AVILO_XML_LOCAL keeps a private
// member of an exported class internal too, where the member is no business of other libraries
// (the node handle's constructor from pugixml's node pointers).
#pragma once

#if defined(_WIN32)
#if defined(AVILO_XML_BUILDING)
#define AVILO_XML_API __declspec(dllexport)
#else
#define AVILO_XML_API __declspec(dllimport)
#endif
#define AVILO_XML_LOCAL
#elif defined(__GNUC__) || defined(__clang__)
#define AVILO_XML_API __attribute__((visibility("default")))
#define AVILO_XML_LOCAL __attribute__((visibility("hidden")))
#else
#define AVILO_XML_API
#define AVILO_XML_LOCAL
#endif
