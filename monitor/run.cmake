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
