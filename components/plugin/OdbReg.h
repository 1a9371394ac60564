// The design-time package's registration procedure: the form designer
// plugin calls it once when the package is loaded.
#pragma once

namespace corvid {

// The palette page on which the package's components appear.
inline constexpr const char* kOdbPalettePage = "Corvid ODB";
// The package's description, as the designer shows it.
inline constexpr const char* kOdbPackageDescription = "Corvid Object Database Design Time Package";

// Puts the object file navigator and then the open-database dialog on the
// page "Corvid ODB", in one call to RegisterComponents. The dataset
// navigator is only a base class and is not registered.
void Register();

}  // namespace corvid
