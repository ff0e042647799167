# Load-time imports of the programs that may run elevated. Mendwright.exe runs with administrator
# rights from the folder the package was unpacked in, which may hold any other download: a library
# of a common name placed there must never be loaded. Such a program imports at load time only
# KERNEL32 and the C runtime; every other system library it links comes from a delay-load import
# library made here, so it is loaded at its first call, after the program has restricted the
# library search to the system folder (core/library_search.h). The system's own libraries (user32
# and the like) would be safe to import on Windows, but Wine resolves their imports (user32 needs
# version.dll) through the program's folder first.
# mingw's 32-bit linker drops a delay-load stub that is reached only through its __imp_ slot (the
# binutils bug 14339): the slot then stays 0 and the first call goes to address 0. Declared without
# dllimport, the system's functions are called through their stubs by name, which keeps them; on
# 64-bit the same calls cost one jump more. tests/check_imports.py checks every slot.
add_compile_definitions(DECLSPEC_IMPORT=)

set(MW_DELAY_LOADED_SYSTEM_LIBS advapi32 bcrypt comctl32 comdlg32 gdi32 ole32 oleaut32 shell32 shlwapi user32)
set(MW_DELAY_LIB_DIR ${CMAKE_BINARY_DIR}/delay_lib)

set(mw_delay_libs "")
foreach(name IN LISTS MW_DELAY_LOADED_SYSTEM_LIBS)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${name}.a
                  OUTPUT_VARIABLE import_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${import_lib}")
    message(FATAL_ERROR "the compiler has no import library lib${name}.a")
  endif()
  set(out ${MW_DELAY_LIB_DIR}/lib${name}.a)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MW_DELAY_LIB_DIR}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL} -DIMPORT_LIB=${import_lib}
            -DNAME=${name} -DOUT=${out} -DSTRIP_UNDERSCORE=$<STREQUAL:${CMAKE_SYSTEM_PROCESSOR},i686>
            -P ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.cmake
    DEPENDS ${import_lib} ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.cmake
    COMMENT "Delay-load import library for ${name}.dll")
  list(APPEND mw_delay_libs ${out})
endforeach()
add_custom_target(mw_delay_libs DEPENDS ${mw_delay_libs})

# mw_restrict_load_time_imports(target): the program links the delay-load import libraries in
# place of mingw's (they are found first by name, for the libraries it names and for those the
# compiler adds by default). tests/check_imports.py checks the result.
function(mw_restrict_load_time_imports target)
  target_link_directories(${target} BEFORE PRIVATE ${MW_DELAY_LIB_DIR})
  add_dependencies(${target} mw_delay_libs)
endfunction()
