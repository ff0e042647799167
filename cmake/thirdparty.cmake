# TinyXML and Lua 5.1 from Debian's source packages (fetched by scripts/setup), compiled here.
set(TINYXML_DIR "${THIRD_PARTY_SRC}/tinyxml")
set(LUA_DIR "${THIRD_PARTY_SRC}/lua5.1")
if(NOT EXISTS "${TINYXML_DIR}/tinyxml.h" OR NOT EXISTS "${LUA_DIR}/src/lua.h")
  message(FATAL_ERROR "TinyXML or Lua sources missing in ${THIRD_PARTY_SRC}: run scripts/setup")
endif()

add_library(tinyxml STATIC
  ${TINYXML_DIR}/tinyxml.cpp ${TINYXML_DIR}/tinyxmlparser.cpp
  ${TINYXML_DIR}/tinyxmlerror.cpp ${TINYXML_DIR}/tinystr.cpp)
target_include_directories(tinyxml SYSTEM PUBLIC ${TINYXML_DIR})
target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)
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
