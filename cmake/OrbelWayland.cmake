# Wayland protocol XML turned into C glue by wayland-scanner, in the build tree of the directory
# that asks: for each file a client header and its interface tables.
#
#   orbel_wayland_protocols(<prefix> <xml>...)
#
# sets <prefix>_DIR (the folder of the generated files, to add as a system include: the headers'
# C casts would trip our C++ warnings), <prefix>_HEADERS and <prefix>_CODE. The tables are C; a
# C++ file of the target includes them inside extern "C", so <prefix>_CODE is what that file's
# OBJECT_DEPENDS names.
function(orbel_wayland_protocols prefix)
  find_package(PkgConfig REQUIRED)
  pkg_get_variable(scanner wayland-scanner wayland_scanner)
  if(NOT scanner)
    message(FATAL_ERROR "wayland-scanner not found (Debian: libwayland-bin)")
  endif()
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/wayland-gen)
  file(MAKE_DIRECTORY ${gen})
  set(headers "")
  set(code "")
  foreach(xml ${ARGN})
    get_filename_component(base ${xml} NAME_WE)
    add_custom_command(
      OUTPUT ${gen}/${base}-client-protocol.h ${gen}/${base}-protocol.c
      COMMAND ${scanner} client-header ${xml} ${gen}/${base}-client-protocol.h
      COMMAND ${scanner} private-code ${xml} ${gen}/${base}-protocol.c
      DEPENDS ${xml}
      VERBATIM)
    list(APPEND headers ${gen}/${base}-client-protocol.h)
    list(APPEND code ${gen}/${base}-protocol.c)
  endforeach()
  set_source_files_properties(${code} PROPERTIES HEADER_FILE_ONLY ON)
  set(${prefix}_DIR ${gen} PARENT_SCOPE)
  set(${prefix}_HEADERS ${headers} PARENT_SCOPE)
  set(${prefix}_CODE ${code} PARENT_SCOPE)
endfunction()
