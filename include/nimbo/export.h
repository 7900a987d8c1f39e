// NIMBO_API marks what the library exports. A shared build compiles everything else hidden
// (-fvisibility=hidden), so only the public API below include/nimbo/ is visible to hosts and the
// rest may change without breaking them. A static build needs no marking; the macro is harmless.
#ifndef NIMBO_EXPORT_H_
#define NIMBO_EXPORT_H_

#if defined(_WIN32) && defined(NIMBO_SHARED)
#if defined(NIMBO_BUILDING_LIBRARY)
#define NIMBO_API __declspec(dllexport)
#else
#define NIMBO_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define NIMBO_API __attribute__((visibility("default")))
#else
#define NIMBO_API
#endif

#endif  // NIMBO_EXPORT_H_
