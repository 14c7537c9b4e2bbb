# Run control, status interpretation and the console program (included by monitor/CMakeLists.txt).
target_sources(sitemon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/status_handler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_control.cpp
)
