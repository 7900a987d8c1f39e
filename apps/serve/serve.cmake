# The web host's page assets (nimbo serve), compiled into the program as
# ${nimbo_serve_embedded}.
set(NIMBO_SERVE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/serve)
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
