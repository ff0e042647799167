# Checks the load-time imports of built Windows programs and libraries: every library named in
# their import tables must be on the allowed list (names compared without regard to case).
# cmake -DOBJDUMP=<objdump> -DALLOWED=<a.dll;b.dll> -DFILES=<file;file> -P check_imports.cmake
cmake_minimum_required(VERSION 3.20)

set(failures "")
string(TOLOWER "${ALLOWED}" allowed)
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${file}")
  endif()
  # Delay-loaded libraries are not in the import tables: they are loaded at their first call.
  string(REGEX MATCHALL "DLL Name: [^\n]+" names "${headers}")
  set(imports "")
  foreach(entry IN LISTS names)
    string(REGEX REPLACE "^DLL Name: " "" name "${entry}")
    string(STRIP "${name}" name)
    list(APPEND imports ${name})
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST allowed)
      string(APPEND failures "${file} imports ${name} at load time\n")
    endif()
  endforeach()
  message(STATUS "${file}: ${imports}")
endforeach()
if(failures)
  # Plain messages are printed as they are; an error's text is wrapped at the terminal width.
  message("${failures}")
  message(FATAL_ERROR "imports outside ${ALLOWED}")
endif()
