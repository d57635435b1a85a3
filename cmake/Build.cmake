# Flags and helpers shared by every target.

add_compile_options(-Wall -Wextra -fno-omit-frame-pointer)

if(WIN32)
  # Self-contained programs: the C++ runtime, libgcc, winpthread and zlib are
  # linked in, so nothing but Windows itself is needed beside an executable.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Fixed load addresses, so the program's address map matches at run time.
    add_link_options(-Wl,--disable-dynamicbase)
  endif()
  # Tests of the Windows builds run under Wine with a prefix of the build tree.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wineprefix)
endif()

if(MODKIT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# One test executable per folder under test, registered as one CTest test so
# that a Wine start is paid once per folder, not once per test case.
function(modkit_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} modkit_testing)
  set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${name}.work)
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${workdir})
endfunction()
