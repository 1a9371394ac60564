// The wizard without its window: a class model read from a JSON file and the
// unit written for it, so that units can be generated in a build.
//
//   unitwright --model MODEL.json [--output FILE] [--date YYYY-MM-DD]
//              [--language pascal|cpp]
//
// --language cpp writes the C++ header (wizard/CodeGenCpp.cpp) instead of
// the Pascal unit; without it the output file name decides
// (LanguageFromFileName). A model C++ cannot express exits with status 1.
//
// The model file:
//   { "fileName": "SampObj.Pas", "className": "TSampleObject",
//     "ancestorClass": "TObject",
//     "members": [ {"name": "ID", "type": "Integer"},
//                  {"name": "Child", "type": "Object", "className": "TChild"} ],
//     "fields":  [ {"name": "ID", "type": "Autoincrement"},
//                  {"name": "Name", "type": "String", "size": 31} ],
//     "indices": [ {"name": "ByID", "attributes": ["Primary", "Unique"],
//                   "fields": ["ID"]} ] }
//
// "fileName" and "className" are required; "ancestorClass" defaults to
// TObject; the three lists default to empty. A member's "className" is used
// for type Object only, a field's "size" (an integer) for type String only. Unknown keys
// are refused, so that a misspelt key does not go unnoticed.
//
// The model is built through the commands of TClassModel in the order the
// window asks for it (general values, members, fields, indices), so the
// same rules apply with the same messages. An index may name only fields of
// the model, each at most as often as the field list holds it (what the
// index dialog offers).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "corvid/containers/ObjRoot.h"
#include "corvid/wizard/CodeGen.h"

namespace corvid {

// A model file that is not valid JSON or does not have the shape above. The
// message says what is wrong and where (file and JSON path).
CORVID_EXCEPTION(EModelFileError)

// The largest model file read: far above any real model, and a bound on the
// memory a wrong path can make the program use.
inline constexpr std::int64_t kMaxModelFileSize = 16 * 1024 * 1024;

// Exit statuses of the batch mode.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRuleFailed = 1;     // a rule of the model failed
inline constexpr int kExitBadInput = 2;       // malformed model file or command line
inline constexpr int kExitWriteFailed = 3;    // the unit could not be written
inline constexpr int kExitInternalError = 4;  // an unexpected failure of the program

// Builds Model (a fresh one: the lists are appended to) from the JSON text
// of a model file; Where names the file in
// messages. Returns false when a rule of the model failed (its message went
// through the model's message function); raises EModelFileError for a
// malformed text. Nothing of the model is changed before the whole text has
// been checked for shape.
bool LoadModelJson(const std::string& Text, const std::string& Where, TClassModel& Model);
// The same for a file. EModelFileError for a file that cannot be read, that
// is not a regular file (a device, a pipe, a folder) or that holds more than
// kMaxModelFileSize bytes.
bool LoadModelFile(const std::string& Path, TClassModel& Model);

// The program's usage text.
const char* UnitwrightUsage();

// The program: Args are the arguments after the program name. Normal output
// goes to Out, messages and errors to Err. Returns the exit status.
int RunUnitwright(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

}  // namespace corvid
