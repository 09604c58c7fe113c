// The installation record written at every exit: where the program lies,
// its executable name, product name and version.
#pragma once

namespace startup {

inline constexpr const char* kInstallationKey = "software\\ostmarin\\Tessakit\\Glimmet\\Installation";

// Writes the four values in order; each write opens and closes the key,
// and the four reach the key file together. A record that cannot be written
// leaves a one-line warning on stderr and nothing else.
void WriteInstallationRecord();

}  // namespace startup
