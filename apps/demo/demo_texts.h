// The demo's SQL and HTML texts, compiled into the program from the files beside this header
// (schema.sql, data.sql, browser.sql, their PostgreSQL editions schema_pg.sql and browser_pg.sql,
// page_head.html, front_page.html) by embed_texts.cmake.
#ifndef NIMBO_APPS_DEMO_DEMO_TEXTS_H_
#define NIMBO_APPS_DEMO_DEMO_TEXTS_H_

#include <string_view>

namespace nimbo::app::demo {

// Each text's bytes are followed by a NUL, so data() can go straight to C interfaces.
std::string_view SchemaSql();      // the business's tables
std::string_view DataSql();        // the business's records
std::string_view BrowserSql();     // procedure catalog, navigation and section rows, stored pages
std::string_view SchemaPgSql();    // the same tables for PostgreSQL
std::string_view BrowserPgSql();   // the same definition with PostgreSQL procedure bodies
std::string_view PageHeadHtml();   // the head of every report page, up to the opened division
std::string_view FrontPageHtml();  // the front page's content, set inside the page head

}  // namespace nimbo::app::demo

#endif  // NIMBO_APPS_DEMO_DEMO_TEXTS_H_
