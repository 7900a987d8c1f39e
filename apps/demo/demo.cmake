# The demo (nimbo demo DIR): its SQL and HTML texts are compiled into the program, and its page
# images and product pictures are drawn by it and encoded with giflib and libjpeg.
set(NIMBO_DEMO_DIR ${CMAKE_CURRENT_SOURCE_DIR}/demo)
set(NIMBO_DEMO_TEXTS
  schema.sql:SchemaSql
  data.sql:DataSql
  browser.sql:BrowserSql
  schema_pg.sql:SchemaPgSql
  browser_pg.sql:BrowserPgSql
  page_head.html:PageHeadHtml
  front_page.html:FrontPageHtml)

set(nimbo_demo_text_files "")
foreach(pair IN LISTS NIMBO_DEMO_TEXTS)
  string(REPLACE ":" ";" parts "${pair}")
  list(GET parts 0 file)
  list(APPEND nimbo_demo_text_files ${NIMBO_DEMO_DIR}/${file})
endforeach()
string(REPLACE ";" "," nimbo_demo_texts_arg "${NIMBO_DEMO_TEXTS}")
set(nimbo_demo_embedded ${CMAKE_CURRENT_BINARY_DIR}/generated/demo_texts.cc)
add_custom_command(
  OUTPUT ${nimbo_demo_embedded}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${NIMBO_DEMO_DIR} -DOUTPUT=${nimbo_demo_embedded}
          -DTEXTS=${nimbo_demo_texts_arg} -P ${NIMBO_DEMO_DIR}/embed_texts.cmake
  DEPENDS ${nimbo_demo_text_files} ${NIMBO_DEMO_DIR}/embed_texts.cmake
  COMMENT "Embedding the demo's SQL and HTML texts"
  VERBATIM)

file(GLOB NIMBO_DEMO_SOURCES CONFIGURE_DEPENDS ${NIMBO_DEMO_DIR}/*.cc)
add_library(nimbo_demo STATIC ${NIMBO_DEMO_SOURCES} ${nimbo_demo_embedded})
target_include_directories(nimbo_demo PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(nimbo_demo PRIVATE SQLite::SQLite3 PostgreSQL::PostgreSQL GIF::GIF JPEG::JPEG)
nimbo_warnings(nimbo_demo)
