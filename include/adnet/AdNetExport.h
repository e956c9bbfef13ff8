#pragma once

// What libadnet.so offers its hosts. The ad client is compiled with hidden visibility and
// marks its public classes and functions with ADNET_EXPORT; everything else (the platform
// layer, the JSON reader, the standard library's copies) stays inside the library.
//
// C++ hosts need C++20 (the headers use defaulted comparisons); C hosts use only the
// adnet_* functions of the widget's header.
#if defined(__GNUC__) || defined(__clang__)
#define ADNET_EXPORT __attribute__((visibility("default")))
#else
#define ADNET_EXPORT
#endif
