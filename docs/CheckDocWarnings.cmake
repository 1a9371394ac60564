# Fails when doxygen's log (LOG) holds a warning other than an undocumented
# member: an undocumented class, struct, file or namespace, or a malformed
# documentation comment.
file(STRINGS ${LOG} lines REGEX "warning:")
set(errors "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "warning: Member .* is not documented")
    string(APPEND errors "${line}\n")
  endif()
endforeach()
if(errors)
  message(FATAL_ERROR "The reference has undocumented classes or broken comments:\n${errors}")
endif()
