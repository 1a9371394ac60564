/// @file
/// The object database in one include: drivers and their registry, the
/// database, mappings, datasets, object files, queries, updates and the SQL
/// statement builders, with the fields, indices and errors they use, the typed
/// layer (odb/OdbTyped.h) and the exception hook and FormatException.
#pragma once

#include "odb/OdbDatabase.h"
#include "odb/OdbDataset.h"
#include "odb/OdbDriver.h"
#include "odb/OdbErrors.h"
#include "odb/OdbField.h"
#include "odb/OdbFile.h"
#include "odb/OdbIndex.h"
#include "odb/OdbMapping.h"
#include "odb/OdbQuery.h"
#include "odb/OdbSql.h"
#include "odb/OdbTyped.h"
#include "util/OdbMisc.h"
