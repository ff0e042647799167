# Writes a delay-load import library for one system library, made from mingw's import library of
# it: every function that the import library names, loaded at the first call instead of at start.
# cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIB=<mingw's lib<name>.a> -DNAME=<name> -DOUT=<file>
#       -DSTRIP_UNDERSCORE=<ON for 32-bit x86, whose C names carry a leading underscore> -P this file
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIB}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${IMPORT_LIB}")
endif()

# Each import of the library is one member with a code symbol (the call thunk), "_Name@N" on
# 32-bit x86; its imported name is the same without the underscore and the argument size.
string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" thunks "${symbols}")
set(def "LIBRARY ${NAME}.dll\nEXPORTS\n")
set(count 0)
foreach(thunk IN LISTS thunks)
  string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${thunk}")
  if(STRIP_UNDERSCORE)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  # mingw's shell32 names one import "ExtractIconW@" (no size): not a name dlltool can take.
  if(name MATCHES "@$")
    continue()
  endif()
  string(APPEND def "${name}\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no imports found in ${IMPORT_LIB}")
endif()

get_filename_component(out_dir ${OUT} DIRECTORY)
set(def_file ${out_dir}/${NAME}.def)
file(WRITE ${def_file} "${def}")
# --kill-at: the names are imported without the argument size, as the system library exports them.
execute_process(COMMAND ${DLLTOOL} --kill-at --dllname ${NAME}.dll --input-def ${def_file}
                        --output-delaylib ${OUT} --temp-prefix ${NAME}_delay
                WORKING_DIRECTORY ${out_dir} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed for ${NAME}")
endif()
