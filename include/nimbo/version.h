// The library's version. The build reads it from here, so the package version, the shared
// library's name and nimbo::Version() all agree with these numbers.
#ifndef NIMBO_VERSION_H_
#define NIMBO_VERSION_H_

#define NIMBO_VERSION_MAJOR 0
#define NIMBO_VERSION_MINOR 1
#define NIMBO_VERSION_PATCH 0

// One number for comparisons in the preprocessor: 10000 * major + 100 * minor + patch.
#define NIMBO_VERSION (NIMBO_VERSION_MAJOR * 10000 + NIMBO_VERSION_MINOR * 100 + NIMBO_VERSION_PATCH)

#endif  // NIMBO_VERSION_H_
