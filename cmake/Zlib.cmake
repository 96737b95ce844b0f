# Zlib.cmake -- zlib's own sources (1.2.12), taken from Debian's binutils-source
# package, built small for the install module.
#
# Defines: nvr_zlib_inflate (inflate + crc32, what the module links) and
# nvr_zlib_full (adds deflate, for the Windows-side tests that write packages).
set(NVR_ZLIB_TARBALL /usr/src/binutils/binutils-2.40.tar.xz
    CACHE FILEPATH "binutils source tarball that carries zlib")
set(NVR_ZLIB_DIR "" CACHE PATH "folder with zlib's sources; extracted from the tarball when empty")

if(NOT NVR_ZLIB_DIR)
  set(NVR_ZLIB_DIR ${CMAKE_BINARY_DIR}/zlib-src/binutils-2.40/zlib)
  if(NOT EXISTS ${NVR_ZLIB_DIR}/inflate.c)
    if(NOT EXISTS ${NVR_ZLIB_TARBALL})
      message(FATAL_ERROR "zlib sources not found: ${NVR_ZLIB_TARBALL} is missing "
                          "(install Debian's binutils-source package)")
    endif()
    message(STATUS "Extracting zlib from ${NVR_ZLIB_TARBALL}")
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/zlib-src)
    # tar, not file(ARCHIVE_EXTRACT): the tarball carries hard links.
    execute_process(COMMAND tar -xJf ${NVR_ZLIB_TARBALL} -C ${CMAKE_BINARY_DIR}/zlib-src
                            binutils-2.40/zlib
                    RESULT_VARIABLE _tar_result)
    if(NOT _tar_result EQUAL 0)
      message(FATAL_ERROR "could not extract zlib's sources")
    endif()
  endif()
endif()

set(_z ${NVR_ZLIB_DIR})
set(_zlib_inflate_sources ${_z}/inflate.c ${_z}/inffast.c ${_z}/inftrees.c
    ${_z}/crc32.c ${_z}/zutil.c)
# NO_GZIP drops the gzip wrapper; DYNAMIC_CRC_TABLE builds the CRC tables at
# run time instead of carrying them in the image.
set(_zlib_defs NO_GZIP DYNAMIC_CRC_TABLE)

# The module's zlib takes a small Adler-32 of its own (raw inflate never
# checks one); the tests' zlib keeps zlib's.
add_library(nvr_zlib_inflate STATIC ${_zlib_inflate_sources}
            ${PROJECT_SOURCE_DIR}/package/adler32.cpp)
target_include_directories(nvr_zlib_inflate PUBLIC ${_z})
target_compile_definitions(nvr_zlib_inflate PUBLIC ${_zlib_defs})
target_compile_options(nvr_zlib_inflate PRIVATE -Os ${NVR_MODULE_CFLAGS} -w
                       $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)

add_library(nvr_zlib_full STATIC ${_zlib_inflate_sources} ${_z}/adler32.c
            ${_z}/deflate.c ${_z}/trees.c ${_z}/compress.c ${_z}/uncompr.c)
target_include_directories(nvr_zlib_full PUBLIC ${_z})
target_compile_definitions(nvr_zlib_full PUBLIC ${_zlib_defs})
target_compile_options(nvr_zlib_full PRIVATE -O2 -w)
