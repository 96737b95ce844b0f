# Generated.cmake -- sources made at build time, included by Module.cmake.
# Sets NVR_GENERATED_SOURCES for nvr_module_code; writes only into
# ${NVR_GENERATED_DIR}.
#
# catalog_data.h: the message catalogue, converted by tools/gen-catalog from the
# UTF-8 table ui/catalog.txt (Korean texts become code page 949 bytes).
find_program(NVR_PYTHON3 python3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)

set(NVR_CATALOG_TABLE ${PROJECT_SOURCE_DIR}/ui/catalog.txt)
set(NVR_CATALOG_GENERATOR ${PROJECT_SOURCE_DIR}/tools/gen-catalog)
set(NVR_CATALOG_HEADER ${NVR_GENERATED_DIR}/catalog_data.h)

add_custom_command(
  OUTPUT ${NVR_CATALOG_HEADER}
  COMMAND ${NVR_PYTHON3} ${NVR_CATALOG_GENERATOR} ${NVR_CATALOG_TABLE} ${NVR_CATALOG_HEADER}
  DEPENDS ${NVR_CATALOG_GENERATOR} ${NVR_CATALOG_TABLE}
  COMMENT "Generating catalog_data.h from ui/catalog.txt"
  VERBATIM)

set(NVR_GENERATED_SOURCES ${NVR_CATALOG_HEADER})
