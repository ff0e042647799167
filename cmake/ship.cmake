# What the builds deliver: programs and libraries without debug information. Each one's debug
# information stays beside it in the build tree, in NAME.debug, tied to it by a debug link (the
# file's name and CRC in its .gnu_debuglink section): gdb and addr2line find it there, so that a
# crash address a player reports can still be read (README, "Reading a crash").

# mw_split_debug_info(target): after each link, moves the target's debug information and symbol
# table into $<TARGET_FILE>.debug and leaves the target stripped, with a debug link to that file.
function(mw_split_debug_info target)
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    VERBATIM)
endfunction()

# mw_ship(target): the target as delivered. Stripped in the build tree, so that the tests run
# exactly the delivered file, then copied into DIST_DIR (when set) after each build.
function(mw_ship target)
  mw_split_debug_info(${target})
  if(DIST_DIR)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${DIST_DIR}/
      VERBATIM)
  endif()
endfunction()
