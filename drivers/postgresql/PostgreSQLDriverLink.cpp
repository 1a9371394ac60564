// The PostgreSQL driver library's link anchor (see cmake/CorvidTargets.cmake).
// The driver registers itself under "PostgreSQL" from a static initialiser, and
// programs find it by that name only, so a static link would drop the
// driver. Every target that links the library compiles a reference to
// corvid_link_postgresql (see cmake/CorvidLink.cpp.in); its reference to the
// driver's constructor pulls in the driver and its registration.
#include <memory>

#include "corvid/drivers/postgresql/PostgreSQLDriver.h"

extern "C" {
extern const void* const corvid_link_postgresql[];
const void* const corvid_link_postgresql[] = {
    reinterpret_cast<const void*>(+[]() -> std::unique_ptr<corvid::TOdbDriver> {
      return std::make_unique<corvid::TPostgreSQLDriver>();
    }),
};
}
