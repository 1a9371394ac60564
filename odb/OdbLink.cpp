// The core library's link anchor (see cmake/CorvidTargets.cmake). Programs
// that link the core statically keep only the archive members they
// reference, but several members exist for what their static initialisers
// register: the stream procedures of TOdbField, the compare functions of
// field and index lists, the classes of the container and value modules
// (run from RegisterObjPerstStartup). A program reads those classes from a
// stream or finds the functions by name, never naming them. Every target
// that links the library compiles a reference to corvid_link_core (see
// cmake/CorvidLink.cpp.in), and the addresses below pull in every such
// member.
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/persist/ObjPerst.h"

extern "C" {
extern const void* const corvid_link_core[];
const void* const corvid_link_core[] = {
    reinterpret_cast<const void*>(&corvid::RegisterObjPerstStartup),
    reinterpret_cast<const void*>(&corvid::ReadOdbField),
    reinterpret_cast<const void*>(&corvid::CompareOdbIndex),
};
}
