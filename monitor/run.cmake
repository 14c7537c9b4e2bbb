# Run control, status interpretation and the console program (included by monitor/CMakeLists.txt).
target_sources(sitemon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/status_handler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console/console_outlets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console/console_run_window.cpp
)
if(WIN32)
  target_sources(sitemon_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/run_host_win.cpp
  )
endif()

# SiteMonitorConsole.exe: the engine on its own, printing to standard output.
if(WIN32)
  add_executable(SiteMonitorConsole ${CMAKE_CURRENT_LIST_DIR}/console/console_main_win.cpp)
  target_link_libraries(SiteMonitorConsole PRIVATE sitemon_win)
  target_link_options(SiteMonitorConsole PRIVATE -municode -static)
  set_target_properties(SiteMonitorConsole PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
