/// @file
/// The object database in one include: drivers and their registry, the
/// database, mappings, datasets, object files, queries, updates and the SQL
/// statement builders, with the fields, indices and errors they use, the typed
/// layer (odb/OdbTyped.h) and the exception hook and FormatException.
#pragma once

#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/odb/OdbErrors.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbFile.h"
#include "corvid/odb/OdbIndex.h"
#include "corvid/odb/OdbMapping.h"
#include "corvid/odb/OdbQuery.h"
#include "corvid/odb/OdbSql.h"
#include "corvid/odb/OdbTyped.h"
#include "corvid/util/OdbMisc.h"
