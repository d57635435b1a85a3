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

# Sources of a folder for this build: every .cpp file, where a name ending in
# _win32 is compiled only for Windows and one ending in _host only natively.
function(modkit_sources out pattern)
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
  if(WIN32)
    list(FILTER found EXCLUDE REGEX "_host(_test)?\\.cpp$")
  else()
    list(FILTER found EXCLUDE REGEX "_win32(_test)?\\.cpp$")
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# A static library of every source file in the current folder (test and
# program entry files excluded by EXCLUDE).
function(modkit_add_library name)
  cmake_parse_arguments(L "" "" "LIBS;EXCLUDE" ${ARGN})
  modkit_sources(sources "*.cpp")
  foreach(x ${L_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${x})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

# One test executable per folder under test (every *_test.cpp in it),
# registered as one CTest test so that a Wine start is paid once per folder,
# not once per test case.
function(modkit_add_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  modkit_sources(sources "*_test.cpp")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${T_LIBS} modkit_testing)
  set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${name}.work)
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${workdir})
endfunction()

# Under Wine, runs the test program on a virtual X display, for tests that
# open windows.
function(modkit_test_on_display name)
  if(WIN32)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
      "${CMAKE_SOURCE_DIR}/scripts/wine-run;${CMAKE_BINARY_DIR}/wineprefix;--gui")
  endif()
endfunction()
