# Module.cmake -- the install module and, for the x86_64 build, the Windows-side
# tests. Included by the top-level CMakeLists.txt when cross-compiling.
#
# nvr_module_code: every module source but the entry point, built with the
#   module's flags; linked into the module and into each test program.
# NvrInst10: the module itself: own entry point, no C runtime start-up, padded
#   to exactly 51,200 bytes (tools/pad-module fails the build when it is over).
# No -fdata-sections: with it, mingw places zero-initialised data (zlib's CRC
# tables, the static buffers) in .data, where it costs file bytes.
# Link-time optimisation saves about 1.5 KB of the budget; the objects stay
# "fat" so that the test programs link them without it.
set(NVR_MODULE_CFLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables
    -ffunction-sections -fno-stack-protector -fno-ident -flto -ffat-lto-objects)
set(NVR_MODULE_CXXFLAGS ${NVR_MODULE_CFLAGS} -fno-exceptions -fno-rtti
    -fno-threadsafe-statics)

enable_language(RC)
include(${CMAKE_CURRENT_LIST_DIR}/Zlib.cmake)

file(GLOB NVR_MODULE_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/launcher/*.cpp ${PROJECT_SOURCE_DIR}/package/*.cpp
     ${PROJECT_SOURCE_DIR}/setupinfo/*.cpp ${PROJECT_SOURCE_DIR}/engine/*.cpp
     ${PROJECT_SOURCE_DIR}/ui/*.cpp)
list(REMOVE_ITEM NVR_MODULE_SOURCES ${PROJECT_SOURCE_DIR}/launcher/entry.cpp
     ${PROJECT_SOURCE_DIR}/package/adler32.cpp)

# Generated sources (the catalogue) land here.
set(NVR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${NVR_GENERATED_DIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/cmake/Generated.cmake)
  include(${PROJECT_SOURCE_DIR}/cmake/Generated.cmake)
endif()

add_library(nvr_module_code STATIC ${NVR_MODULE_SOURCES} ${NVR_GENERATED_SOURCES})
target_include_directories(nvr_module_code PUBLIC ${PROJECT_SOURCE_DIR} ${NVR_GENERATED_DIR})
target_compile_options(nvr_module_code PRIVATE -Os ${NVR_MODULE_CXXFLAGS} -Wall -Wextra)
target_include_directories(nvr_module_code PUBLIC ${NVR_ZLIB_DIR})
target_compile_definitions(nvr_module_code PUBLIC NO_GZIP DYNAMIC_CRC_TABLE)
set(NVR_SYSTEM_LIBS kernel32 user32 gdi32 advapi32 shell32 oleaut32 version msvcrt)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(_entry _ModuleEntry@0)
else()
  set(_entry ModuleEntry)
endif()

add_executable(NvrInst10 WIN32 ${PROJECT_SOURCE_DIR}/launcher/entry.cpp
               ${PROJECT_SOURCE_DIR}/resources/module.rc)
target_compile_options(NvrInst10 PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:-Os ${NVR_MODULE_CXXFLAGS} -Wall -Wextra>)
target_include_directories(NvrInst10 PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/resources
                           ${NVR_GENERATED_DIR})
# An EXE is always loaded at its preferred base, so it needs no relocation
# table (about 2 KB). cmake/module.ld merges the sections (about 1 KB).
target_link_options(NvrInst10 PRIVATE -Os -flto -nostdlib -nostartfiles -Wl,--entry=${_entry}
  -Wl,--gc-sections -Wl,--subsystem,windows -Wl,--no-insert-timestamp -s
  -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
  -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/module.ld
  -Wl,-Map=${CMAKE_BINARY_DIR}/NvrInst10.map)
set_property(TARGET NvrInst10 APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/module.ld)
# The module links zlib's inflate only; the tests link the full zlib.
target_link_libraries(NvrInst10 PRIVATE nvr_module_code nvr_zlib_inflate
                      ${NVR_SYSTEM_LIBS} gcc ${NVR_SYSTEM_LIBS} gcc)
set_target_properties(NvrInst10 PROPERTIES OUTPUT_NAME NvrInst10 SUFFIX .exe
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_command(TARGET NvrInst10 POST_BUILD
  COMMAND ${PROJECT_SOURCE_DIR}/tools/pad-module $<TARGET_FILE:NvrInst10>
          ${CMAKE_BINARY_DIR}/NvrInst10.map
  VERBATIM)

# Windows-side tests: only the x86_64 build runs here (under wine64).
if(NVR_BUILD_WIN_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  add_library(nvr_test_support INTERFACE)
  target_include_directories(nvr_test_support INTERFACE ${PROJECT_SOURCE_DIR}
                             ${NVR_GENERATED_DIR})
  target_link_libraries(nvr_test_support INTERFACE nvr_module_code nvr_zlib_full
                        ${NVR_SYSTEM_LIBS} ole32 uuid psapi)
  target_link_options(nvr_test_support INTERFACE -static)

  # tests/win/test_NAME.cpp -> test_NAME.exe (GoogleTest);
  # tests/win/tool_NAME.cpp -> tool_NAME.exe (a plain program the tests start).
  file(GLOB _tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/test_*.cpp)
  foreach(_src ${_tests})
    get_filename_component(_name ${_src} NAME_WE)
    add_executable(${_name} ${_src})
    target_link_libraries(${_name} PRIVATE gtest_main gtest nvr_test_support)
    set_target_properties(${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  endforeach()
  file(GLOB _tools CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/tool_*.cpp)
  foreach(_src ${_tools})
    get_filename_component(_name ${_src} NAME_WE)
    add_executable(${_name} ${_src})
    target_link_libraries(${_name} PRIVATE nvr_test_support)
    set_target_properties(${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  endforeach()
  file(GLOB _dlls CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/dll_*.cpp)
  foreach(_src ${_dlls})
    get_filename_component(_name ${_src} NAME_WE)
    add_library(${_name} SHARED ${_src})
    # tests/win/NAME.rc, when present, gives dll_NAME its resources.
    if(EXISTS ${PROJECT_SOURCE_DIR}/tests/win/${_name}.rc)
      target_sources(${_name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/win/${_name}.rc)
    endif()
    set_target_properties(${_name} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_options(${_name} PRIVATE -static)
    list(APPEND _dll_targets ${_name})
  endforeach()

  # nvrpack for Windows (nvrpack_win) and the host tests built for it
  # (test_nvrpack_win), linked with nvr_zlib_full; see packager/CMakeLists.txt.
  add_subdirectory(${PROJECT_SOURCE_DIR}/packager ${CMAKE_BINARY_DIR}/nvrpack)

  # tests/win/NAME.idl -> NAME.tlb (type libraries for the registration tests),
  # compiled by widl (package mingw-w64-tools) against Wine's IDL files and its
  # stdole2.tlb (package libwine-dev).
  find_program(NVR_WIDL x86_64-w64-mingw32-widl REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(NVR_WINE_IDL_DIR /usr/include/wine/wine/windows)
  set(NVR_WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  file(GLOB _idls CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/*.idl)
  set(_tlbs)
  foreach(_idl ${_idls})
    get_filename_component(_name ${_idl} NAME_WE)
    set(_tlb ${CMAKE_BINARY_DIR}/tests/${_name}.tlb)
    add_custom_command(OUTPUT ${_tlb}
      COMMAND ${NVR_WIDL} -m64 -t -I ${NVR_WINE_IDL_DIR} -L ${NVR_WINE_TLB_DIR} -o ${_tlb} ${_idl}
      DEPENDS ${_idl} VERBATIM)
    list(APPEND _tlbs ${_tlb})
  endforeach()

  # Building a test program builds the DLLs and type libraries it may load.
  add_custom_target(nvr_test_data DEPENDS ${_tlbs})
  if(_dll_targets)
    add_dependencies(nvr_test_data ${_dll_targets})
  endif()
  foreach(_src ${_tests})
    get_filename_component(_name ${_src} NAME_WE)
    add_dependencies(${_name} nvr_test_data)
  endforeach()
endif()
