# The web host (nimbo serve): its C++ sources, on cpp-httplib and Asio, and its page assets,
# compiled into the program.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

set(NIMBO_SERVE_DIR ${PROJECT_SOURCE_DIR}/apps/serve)
file(GLOB nimbo_serve_asset_paths CONFIGURE_DEPENDS ${NIMBO_SERVE_DIR}/assets/*)
set(nimbo_serve_asset_names "")
foreach(path IN LISTS nimbo_serve_asset_paths)
  get_filename_component(name ${path} NAME)
  list(APPEND nimbo_serve_asset_names ${name})
endforeach()
list(SORT nimbo_serve_asset_names)
string(REPLACE ";" "," nimbo_serve_assets_arg "${nimbo_serve_asset_names}")
set(nimbo_serve_embedded ${CMAKE_CURRENT_BINARY_DIR}/generated/serve_assets.cc)
add_custom_command(
  OUTPUT ${nimbo_serve_embedded}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${NIMBO_SERVE_DIR}/assets -DOUTPUT=${nimbo_serve_embedded}
          -DFILES=${nimbo_serve_assets_arg} -P ${NIMBO_SERVE_DIR}/embed_assets.cmake
  DEPENDS ${nimbo_serve_asset_paths} ${NIMBO_SERVE_DIR}/embed_assets.cmake
  COMMENT "Embedding the web host's assets"
  VERBATIM)

file(GLOB NIMBO_SERVE_SOURCES CONFIGURE_DEPENDS ${NIMBO_SERVE_DIR}/*.cc)
add_library(nimbo_serve STATIC ${NIMBO_SERVE_SOURCES} ${nimbo_serve_embedded}
  ${PROJECT_SOURCE_DIR}/apps/browser_session.cc)
target_include_directories(nimbo_serve PUBLIC ${PROJECT_SOURCE_DIR}/apps)
target_link_libraries(nimbo_serve
  PUBLIC nimbo nimbo_demo PkgConfig::HTTPLIB CLI11::CLI11 nlohmann_json::nlohmann_json
  PRIVATE fmt::fmt PkgConfig::SQLITE3)
nimbo_warnings(nimbo_serve)

# The browsing session is shared with the other subcommands; it now comes with this library,
# which the unit tests link too, so the program must not compile it a second time.
get_target_property(nimbo_cli_sources nimbo_cli SOURCES)
list(REMOVE_ITEM nimbo_cli_sources ${PROJECT_SOURCE_DIR}/apps/browser_session.cc)
set_target_properties(nimbo_cli PROPERTIES SOURCES "${nimbo_cli_sources}")
target_link_libraries(nimbo_cli PRIVATE nimbo_serve)
