# Wraps the extension's body in the import lines and entry point of one of the shell's two
# extension formats: cmake -DBODY=orbel.js -DENTRY=imports.js -DOUT=extension.js -P this file.
cmake_minimum_required(VERSION 3.25)
set(marker "//#include orbel.js\n")
file(READ "${BODY}" body)
file(READ "${ENTRY}" entry)
string(FIND "${entry}" "${marker}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${ENTRY} has no line '//#include orbel.js'")
endif()
string(REPLACE "${marker}" "${body}" wrapped "${entry}")
file(WRITE "${OUT}" "${wrapped}")
