# TinyXML and Lua 5.1 from Debian's source packages (fetched by scripts/setup), compiled here.
set(TINYXML_DIR "${THIRD_PARTY_SRC}/tinyxml")
set(LUA_DIR "${THIRD_PARTY_SRC}/lua5.1")
if(NOT EXISTS "${TINYXML_DIR}/tinyxml.h" OR NOT EXISTS "${LUA_DIR}/src/lua.h")
  message(FATAL_ERROR "TinyXML or Lua sources missing in ${THIRD_PARTY_SRC}: run scripts/setup")
endif()

# TinyXML in its own default configuration, without TIXML_USE_STL. Debian's enforce-use-stl.patch
# turns that on for its prebuilt library's sake; here it would cost every program that parses XML
# the whole iostream and locale part of the static C++ runtime (about 0.5 MB), pulled in through
# the std::istream input functions TinyXML's node classes carry in their virtual tables, which no
# program calls. So the sources are compiled from a copy in the build tree whose header leaves
# that switch out; Debian's other patches (the security fixes) are in the copy as they are.
set(TINYXML_BUILD_DIR "${CMAKE_BINARY_DIR}/tinyxml")
foreach(file tinystr.h tinystr.cpp tinyxml.cpp tinyxmlparser.cpp tinyxmlerror.cpp)
  configure_file("${TINYXML_DIR}/${file}" "${TINYXML_BUILD_DIR}/${file}" COPYONLY)
endforeach()
file(READ "${TINYXML_DIR}/tinyxml.h" tinyxml_header)
string(REGEX REPLACE "#ifndef TIXML_USE_STL[ \t\r\n]+#define TIXML_USE_STL[ \t\r\n]+#endif" ""
       tinyxml_header_as_upstream "${tinyxml_header}")
if(tinyxml_header_as_upstream STREQUAL tinyxml_header)
  message(FATAL_ERROR "${TINYXML_DIR}/tinyxml.h: the TIXML_USE_STL switch is not where it was expected")
endif()
# Written beside the copy, then copied only when it differs, so that a new configure run rebuilds nothing.
file(WRITE "${TINYXML_BUILD_DIR}/tinyxml.h.in" "${tinyxml_header_as_upstream}")
configure_file("${TINYXML_BUILD_DIR}/tinyxml.h.in" "${TINYXML_BUILD_DIR}/tinyxml.h" COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TINYXML_DIR}/tinyxml.h")

add_library(tinyxml STATIC
  ${TINYXML_BUILD_DIR}/tinyxml.cpp ${TINYXML_BUILD_DIR}/tinyxmlparser.cpp
  ${TINYXML_BUILD_DIR}/tinyxmlerror.cpp ${TINYXML_BUILD_DIR}/tinystr.cpp)
target_include_directories(tinyxml SYSTEM PUBLIC ${TINYXML_BUILD_DIR})
target_compile_options(tinyxml PRIVATE -w)

# Lua serves the engine stand-in, which only the Windows build has.
if(NOT WIN32)
  return()
endif()
file(GLOB LUA_SOURCES ${LUA_DIR}/src/*.c)
list(FILTER LUA_SOURCES EXCLUDE REGEX "/(lua|luac|print)\\.c$")
add_library(lua51 STATIC ${LUA_SOURCES})
target_include_directories(lua51 SYSTEM PUBLIC ${LUA_DIR}/src)
target_compile_options(lua51 PRIVATE -w)
set_target_properties(lua51 PROPERTIES LINKER_LANGUAGE C)
