// NIMBO_QT_API marks what the Qt adapters library (nimbo::qt) exports; see nimbo/export.h.
#ifndef NIMBO_QT_EXPORT_H_
#define NIMBO_QT_EXPORT_H_

#if defined(_WIN32) && defined(NIMBO_SHARED)
#if defined(NIMBO_QT_BUILDING_LIBRARY)
#define NIMBO_QT_API __declspec(dllexport)
#else
#define NIMBO_QT_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define NIMBO_QT_API __attribute__((visibility("default")))
#else
#define NIMBO_QT_API
#endif

#endif  // NIMBO_QT_EXPORT_H_
