# Checks the ES-module form of the extension as far as a machine without GNOME Shell 45 can:
# gjs parses the whole module, then fails only where it imports the shell's own modules, which
# exist inside a running GNOME Shell 45 or later alone.
# cmake -DGJS=gjs -DMODULE=extension.js -P this file
execute_process(COMMAND ${GJS} -m ${MODULE} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(APPEND err "${out}")
if(err MATCHES "Failed to parse|SyntaxError")
  message(FATAL_ERROR "the module does not parse:\n${err}")
endif()
if(NOT err MATCHES "Failed to resolve imports" OR NOT err MATCHES "resource:///org/gnome/shell/")
  message(FATAL_ERROR "expected gjs to stop at the shell's own modules only:\n${err}")
endif()
message(STATUS "parsed; gjs stopped at the shell's own modules, as expected outside GNOME Shell 45")
