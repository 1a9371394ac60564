# The libraries: Corvid::Core (containers, values, streams, utilities and
# the object database), one library per database driver, and
# Corvid::corvid for all of them. Static or shared after BUILD_SHARED_LIBS.

# Headers are included as <corvid/odb/Odb.h>. In the build tree a generated
# folder gives the subsystem folders that prefix through symbolic links
# (and holds the generated Version.h); the install puts the same files under
# include/corvid/.
set(CORVID_INCLUDE_DIR ${PROJECT_BINARY_DIR}/corvid_include)
set(CORVID_HEADER_DIRS containers values persist util odb drivers components wizard)
file(MAKE_DIRECTORY ${CORVID_INCLUDE_DIR}/corvid)
foreach(dir ${CORVID_HEADER_DIRS})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${dir} ${CORVID_INCLUDE_DIR}/corvid/${dir} SYMBOLIC)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${CORVID_INCLUDE_DIR}/corvid/Version.h
               @ONLY)

# Registration that no link can drop: the drivers and several stream
# classes register themselves from static initialisers in archive members
# that a program need not reference by name (it asks for a driver by its
# name, or reads a class from a stream). Every library defines an anchor
# symbol whose references reach those members, and its link interface adds
# a one-line source to each target that links it, referencing the anchor.
# So whichever library a program links, a static link keeps its
# registrations, and a shared link keeps the library (--as-needed would
# otherwise drop a library the program calls nothing of).
function(corvid_link_anchor target symbol)
  set(CORVID_ANCHOR ${symbol})
  set(file ${PROJECT_BINARY_DIR}/corvid_link/${symbol}.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/CorvidLink.cpp.in ${file} @ONLY)
  target_sources(${target} INTERFACE
    $<BUILD_INTERFACE:${file}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_DATADIR}/corvid/${symbol}.cpp>)
  if(CORVID_INSTALL)
    install(FILES ${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/corvid COMPONENT Development)
  endif()
endfunction()

# Installed shared libraries and programs find Corvid's libraries beside
# them (unless the builder chose a run path of their own).
function(corvid_install_rpath target origin)
  if(BUILD_SHARED_LIBS AND NOT DEFINED CMAKE_INSTALL_RPATH)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "${origin}")
  endif()
endfunction()

# The shared libraries export the namespace corvid and the anchors, nothing
# else (no template instances of the standard library, no helpers of the
# libraries they link).
function(corvid_library target export_name)
  add_library(Corvid::${export_name} ALIAS ${target})
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CORVID_INCLUDE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${target} PROPERTIES
    EXPORT_NAME ${export_name}
    POSITION_INDEPENDENT_CODE ON
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  corvid_install_rpath(${target} "$ORIGIN")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(map ${PROJECT_SOURCE_DIR}/cmake/corvid.map)
    target_link_options(${target} PRIVATE "LINKER:--version-script=${map}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()

add_library(corvid_core
  containers/ObjArray.cpp
  containers/ObjArrayStream.cpp
  containers/ObjBase.cpp
  containers/ObjBaseStream.cpp
  containers/ObjCmp.cpp
  containers/ObjHashFunc.cpp
  containers/ObjHashStream.cpp
  containers/ObjHashTable.cpp
  containers/ObjList.cpp
  containers/ObjListStream.cpp
  containers/ObjRoot.cpp
  containers/ObjStack.cpp
  containers/ObjStackStream.cpp
  containers/ObjType.cpp
  values/ObjBuckt.cpp
  values/ObjBucktStream.cpp
  persist/CodePage.cpp
  persist/Filer.cpp
  persist/Graphics.cpp
  persist/ObjPerst.cpp
  persist/ObjPerstDump.cpp
  persist/ObjPerstRegistry.cpp
  persist/ObjPerstStartup.cpp
  persist/Streams.cpp
  util/OdbMisc.cpp
  util/OdbMiscDate.cpp
  util/OdbMiscFiles.cpp
  util/OdbMiscRes.cpp
  odb/OdbCursorDriver.cpp
  odb/OdbDatabase.cpp
  odb/OdbDataset.cpp
  odb/OdbDriver.cpp
  odb/OdbErrors.cpp
  odb/OdbField.cpp
  odb/OdbFieldStream.cpp
  odb/OdbFile.cpp
  odb/OdbIndex.cpp
  odb/OdbLink.cpp
  odb/OdbMapping.cpp
  odb/OdbQuery.cpp
  odb/OdbSavepoint.cpp
  odb/OdbSchema.cpp
  odb/OdbSql.cpp)
corvid_library(corvid_core Core)
target_link_libraries(corvid_core PRIVATE Threads::Threads)
corvid_link_anchor(corvid_core corvid_link_core)

add_library(corvid_sqlite
  drivers/sqlite/SQLiteConnection.cpp
  drivers/sqlite/SQLiteDriver.cpp
  drivers/sqlite/SQLiteDriverLink.cpp
  drivers/sqlite/SQLiteLocking.cpp
  drivers/sqlite/SQLiteQuery.cpp
  drivers/sqlite/SQLiteSchema.cpp
  drivers/sqlite/SQLiteTable.cpp
  drivers/sqlite/SQLiteTableWrite.cpp
  drivers/sqlite/SQLiteUpdate.cpp)
corvid_library(corvid_sqlite SQLite)
target_link_libraries(corvid_sqlite PUBLIC corvid_core PRIVATE SQLite::SQLite3)
corvid_link_anchor(corvid_sqlite corvid_link_sqlite)

if(PostgreSQL_FOUND)
  add_library(corvid_postgresql
    drivers/postgresql/PgLibpq.cpp
    drivers/postgresql/PgQuery.cpp
    drivers/postgresql/PgSchema.cpp
    drivers/postgresql/PgSession.cpp
    drivers/postgresql/PgTable.cpp
    drivers/postgresql/PgTableWrite.cpp
    drivers/postgresql/PostgreSQLDriver.cpp
    drivers/postgresql/PostgreSQLDriverLink.cpp)
  corvid_library(corvid_postgresql PostgreSQL)
  # libpq's types stay inside the driver: its public header shows none.
  target_link_libraries(corvid_postgresql PUBLIC corvid_core PRIVATE PostgreSQL::PostgreSQL)
  corvid_link_anchor(corvid_postgresql corvid_link_postgresql)
endif()

# Everything that was built; the components add themselves.
add_library(corvid INTERFACE)
add_library(Corvid::corvid ALIAS corvid)
add_library(corvid::corvid ALIAS corvid)
set_target_properties(corvid PROPERTIES EXPORT_NAME corvid)
target_link_libraries(corvid INTERFACE corvid_core corvid_sqlite
                      $<$<TARGET_EXISTS:corvid_postgresql>:corvid_postgresql>)
