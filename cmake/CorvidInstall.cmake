# Install rules: the libraries and programs with an export set, the public
# headers under include/corvid/, the CMake package (find_package(Corvid))
# and pkg-config files.
set(CORVID_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Corvid)

# Public headers only: the stream internals and the drivers' internal
# headers (which show sqlite3's and libpq's types) stay in the source tree.
set(CORVID_PUBLIC_HEADERS
  containers/ObjArray.h
  containers/ObjBase.h
  containers/ObjCmp.h
  containers/ObjHash.h
  containers/ObjList.h
  containers/ObjRoot.h
  containers/ObjStack.h
  containers/ObjType.h
  values/ObjBuckt.h
  persist/CodePage.h
  persist/Filer.h
  persist/Graphics.h
  persist/ObjPerst.h
  persist/ObjPerstDump.h
  persist/Streams.h
  util/OdbMisc.h
  util/OdbMiscSet.h
  odb/Odb.h
  odb/OdbCursorDriver.h
  odb/OdbDatabase.h
  odb/OdbDataset.h
  odb/OdbDriver.h
  odb/OdbErrors.h
  odb/OdbField.h
  odb/OdbFile.h
  odb/OdbIndex.h
  odb/OdbMapping.h
  odb/OdbQuery.h
  odb/OdbSavepoint.h
  odb/OdbSchema.h
  odb/OdbSql.h
  odb/OdbTyped.h
  drivers/sqlite/SQLiteDriver.h)
if(TARGET corvid_postgresql)
  list(APPEND CORVID_PUBLIC_HEADERS drivers/postgresql/PostgreSQLDriver.h)
endif()
if(TARGET corvid_components)
  list(APPEND CORVID_PUBLIC_HEADERS
    components/Component.h
    components/MessageDlg.h
    components/OdbDialg.h
    components/OdbDialgHistory.h
    components/OdbDialgText.h
    components/OdbNav.h
    components/OdbNavButton.h
    components/OdbNavGlyphs.h)
endif()
foreach(header ${CORVID_PUBLIC_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvid/${dir}
          COMPONENT Development)
endforeach()
install(FILES ${CORVID_INCLUDE_DIR}/corvid/Version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvid COMPONENT Development)

set(CORVID_EXPORTED corvid_core corvid_sqlite corvid)
set(CORVID_COMPONENTS_BUILT Core SQLite)
foreach(target corvid_postgresql corvid_components corvid_unitwright corvid_dump)
  if(TARGET ${target})
    list(APPEND CORVID_EXPORTED ${target})
  endif()
endforeach()
if(TARGET corvid_postgresql)
  list(APPEND CORVID_COMPONENTS_BUILT PostgreSQL)
endif()
if(TARGET corvid_components)
  list(APPEND CORVID_COMPONENTS_BUILT Components)
endif()
get_target_property(CORVID_LIBRARY_TYPE corvid_core TYPE)

install(TARGETS ${CORVID_EXPORTED} EXPORT CorvidTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
                NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT CorvidTargets NAMESPACE Corvid:: DESTINATION ${CORVID_CMAKE_DIR}
        COMPONENT Development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CorvidConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CorvidConfig.cmake INSTALL_DESTINATION ${CORVID_CMAKE_DIR})
# 0.x releases may change the interface from one minor version to the next.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(compatibility SameMinorVersion)
else()
  set(compatibility SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvidConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY ${compatibility})
install(FILES ${PROJECT_BINARY_DIR}/CorvidConfig.cmake
              ${PROJECT_BINARY_DIR}/CorvidConfigVersion.cmake
              ${CMAKE_CURRENT_LIST_DIR}/CorvidGenerate.cmake
        DESTINATION ${CORVID_CMAKE_DIR} COMPONENT Development)

# pkg-config: corvid (the core), corvid-sqlite, corvid-postgresql. Static
# archives list their own dependencies as private ones.
foreach(pc corvid corvid-sqlite corvid-postgresql)
  if(pc STREQUAL "corvid-postgresql" AND NOT TARGET corvid_postgresql)
    continue()
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT Development)
endforeach()
