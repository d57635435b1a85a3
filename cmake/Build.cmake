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
  # Release programs carry line tables only until their address map is
  # written from them (modkit_address_map); shipped files go without.
  add_compile_options($<$<CONFIG:Release>:-g1>)
  add_link_options("$<$<AND:$<CONFIG:Release>,$<NOT:$<BOOL:$<TARGET_PROPERTY:MODKIT_ADDRESS_MAP>>>>:-Wl,--strip-debug>")
  # Tests of the Windows builds run under Wine with a prefix of the build tree.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR}/wineprefix)
endif()

if(MODKIT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MODKIT_FUZZ)
  # Every library gets libFuzzer's coverage counters, so the fuzz targets see
  # the readers' branches; only the targets themselves link its main.
  # Optimised a little: a fuzzer's worth is executions per second.
  # Fields that only the Windows side of a class uses are unused here.
  add_compile_options(-fsanitize=fuzzer-no-link -O1 -Wno-unused-private-field)
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
  # A hung test fails instead of holding the run until CI gives up.
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()

# Under Wine, runs the test program on a virtual X display, for tests that
# open windows.
function(modkit_test_on_display name)
  if(WIN32)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
      "${CMAKE_SOURCE_DIR}/scripts/wine-run;${CMAKE_BINARY_DIR}/wineprefix;--gui")
  endif()
endfunction()

# The address map of a Windows program, PROGRAM.map beside it, written after
# each link from the program's line tables (scripts/make-exemap). The
# exception hook reads it to name the unit and line of each trace address.
# With EMBEDDED COPY, COPY is written as well: the program without its debug
# sections and with its map appended, for a program that is copied away from
# its map (the kit's base installer, of which every installer is a copy).
# In Release builds the line tables are then stripped from the program.
function(modkit_address_map target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(M "" "EMBEDDED" "" ${ARGN})
  set_target_properties(${target} PROPERTIES MODKIT_ADDRESS_MAP ON)
  set(exemap ${PROJECT_SOURCE_DIR}/scripts/make-exemap --objdump ${CMAKE_OBJDUMP})
  set(map $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map)
  set(steps COMMAND ${exemap} $<TARGET_FILE:${target}> ${map})
  if(M_EMBEDDED)
    list(APPEND steps COMMAND ${exemap} --objcopy ${CMAKE_OBJCOPY} --embed ${M_EMBEDDED} $<TARGET_FILE:${target}>)
  endif()
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    list(APPEND steps COMMAND ${CMAKE_OBJCOPY} --strip-debug $<TARGET_FILE:${target}>)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD ${steps} VERBATIM)
endfunction()
