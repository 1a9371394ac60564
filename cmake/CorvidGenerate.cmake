# corvid_generate(TARGET target MODEL model.json [OUTPUT name.h])
#
# Writes the C++ header of a class model with unitwright when the target is
# built, and again whenever the model (or unitwright) changes. The header
# (name.h, by default the model's file name with .h) lands in a folder of
# the build tree that goes on the target's include path, so the target's
# sources include it by its name:
#
#   corvid_generate(TARGET app MODEL Contact.json)   # then #include "Contact.h"
#
# MODEL is taken relative to the calling CMakeLists.txt. Call the function
# in the folder that defines the target: the generated file is one of the
# target's sources. The header includes <corvid/odb/Odb.h> and
# <corvid/persist/ObjPerst.h>, so the target links Corvid::Core and the
# driver libraries it uses (or Corvid::corvid).
#
# The generator is Corvid::unitwright: the program of an installed package,
# or the target of the same name in a build that includes Corvid's sources.
include_guard(GLOBAL)

function(corvid_generate)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "TARGET;MODEL;OUTPUT" "")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvid_generate: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_TARGET OR NOT ARG_MODEL)
    message(FATAL_ERROR "corvid_generate: TARGET and MODEL are required")
  endif()
  if(NOT TARGET ${ARG_TARGET})
    message(FATAL_ERROR "corvid_generate: ${ARG_TARGET} is not a target")
  endif()

  if(NOT TARGET Corvid::unitwright)
    message(FATAL_ERROR "corvid_generate: no unitwright program (Corvid was built without "
                        "Qt 6 Widgets or nlohmann_json)")
  endif()
  set(generator Corvid::unitwright)

  get_filename_component(model "${ARG_MODEL}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(ARG_OUTPUT)
    set(name "${ARG_OUTPUT}")
  else()
    get_filename_component(name "${model}" NAME_WE)
    set(name "${name}.h")
  endif()
  if(NOT name MATCHES "\\.(h|hpp)$" OR name MATCHES "[/\\\\]")
    message(FATAL_ERROR "corvid_generate: OUTPUT ${name} must be a file name ending in .h or .hpp")
  endif()

  set(dir "${CMAKE_CURRENT_BINARY_DIR}/corvid_generated/${ARG_TARGET}")
  set(header "${dir}/${name}")
  add_custom_command(
    OUTPUT "${header}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dir}"
    COMMAND ${generator} --model "${model}" --language cpp --output "${header}"
    DEPENDS "${model}" ${generator}
    COMMENT "Generating ${name} from ${ARG_MODEL}"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE "${header}")
  target_include_directories(${ARG_TARGET} PRIVATE "${dir}")
endfunction()
