# Settings and site list, and the site probe worker (included by monitor/CMakeLists.txt).
target_sources(sitemon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/settings_tables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/site_task_builder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_worker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_bound_probe.cpp
)
if(WIN32)
  target_sources(sitemon_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/settings_lists_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/probe_worker_win.cpp
  )
endif()
