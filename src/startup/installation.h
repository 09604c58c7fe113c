// The installation record written at every exit: where the program lies,
// its executable name, product name and version.
#pragma once

namespace startup {

inline constexpr const char* kInstallationKey = "software\\ostmarin\\Tessakit\\Glimmet\\Installation";

// Writes the four values in order; each write opens and closes the key.
// Failures are not reported: a value that cannot be written is skipped.
void WriteInstallationRecord();

}  // namespace startup
