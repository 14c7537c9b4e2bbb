# The main window, the message loop, the drawn buttons and colours, and the program itself.
target_sources(sitemon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/button_look.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_placement.cpp
)
if(WIN32)
  target_sources(sitemon_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/button_bt_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_loop_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_dlg_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_main_dialog_win.cpp
  )

  # The program: GUI subsystem, wide entry point, everything linked statically, so it needs no
  # DLL beside it. It lands directly in the build folder.
  add_executable(SiteMonitor WIN32 ${CMAKE_CURRENT_LIST_DIR}/main_win.cpp)
  target_link_libraries(SiteMonitor PRIVATE sitemon_win sitemon_resources)
  target_link_options(SiteMonitor PRIVATE -mwindows -municode -static $<$<CONFIG:Release>:-s>)
  set_target_properties(SiteMonitor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
