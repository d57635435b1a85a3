# libjpeg: Debian's package on the host; for the Windows targets a static
# cross build of Debian's source package, made once per build tree.
if(NOT WIN32)
  find_package(JPEG REQUIRED)
  return()
endif()

set(jpeg_prefix ${CMAKE_BINARY_DIR}/deps/jpeg)
if(NOT EXISTS ${jpeg_prefix}/lib/libjpeg.a)
  set(jpeg_glob ${PROJECT_SOURCE_DIR}/build/deps/src/libjpeg-turbo-*/CMakeLists.txt)
  file(GLOB jpeg_src ${jpeg_glob})
  if(NOT jpeg_src)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-deps)
    file(GLOB jpeg_src ${jpeg_glob})
  endif()
  if(NOT jpeg_src)
    message(FATAL_ERROR "libjpeg-turbo source missing: run scripts/install-deps")
  endif()
  list(GET jpeg_src 0 jpeg_src)
  get_filename_component(jpeg_src ${jpeg_src} DIRECTORY)
  message(STATUS "Cross-building libjpeg from ${jpeg_src}")
  set(jpeg_build ${CMAKE_BINARY_DIR}/deps/jpeg-build)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${jpeg_src} -B ${jpeg_build}
            -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw.cmake
            -DMINGW_TRIPLET=${MINGW_TRIPLET} -DCMAKE_BUILD_TYPE=Release
            -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF
            -DCMAKE_INSTALL_PREFIX=${jpeg_prefix}
    OUTPUT_QUIET RESULT_VARIABLE rc)
  if(rc EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${jpeg_build} -j OUTPUT_QUIET RESULT_VARIABLE rc)
  endif()
  if(rc EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${jpeg_build} OUTPUT_QUIET RESULT_VARIABLE rc)
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "libjpeg cross build failed")
  endif()
endif()

add_library(JPEG::JPEG STATIC IMPORTED)
set_target_properties(JPEG::JPEG PROPERTIES
  IMPORTED_LOCATION ${jpeg_prefix}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/include)
