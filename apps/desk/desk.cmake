# nimbo-desk: the desktop host on the Qt adapters (nimbo::qt), built only when they are. The
# window and its dialogs are a library of their own, which the tests also drive in-process; the
# program is its main. It shares the browsing session with the nimbo program through nimbo_app.
add_library(nimbo_desk_ui STATIC
  desk/desk_options.cc
  desk/mail_dialog.cc
  desk/main_window.cc
  desk/property_dialog.cc
  desk/script.cc)
target_link_libraries(nimbo_desk_ui PUBLIC nimbo_app nimbo::qt Qt6::Widgets Qt6::WebEngineWidgets)
# Qt's signals/slots/emit words stay out of the way of other libraries' names.
target_compile_definitions(nimbo_desk_ui PUBLIC QT_NO_KEYWORDS)
nimbo_warnings(nimbo_desk_ui)

add_executable(nimbo_desk desk/main.cc)
set_target_properties(nimbo_desk PROPERTIES
  OUTPUT_NAME nimbo-desk
  # At the top of the build tree (build/nimbo-desk), beside build/nimbo.
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_link_libraries(nimbo_desk PRIVATE nimbo_desk_ui)
nimbo_warnings(nimbo_desk)
if(NIMBO_INSTALL)
  install(TARGETS nimbo_desk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
endif()
