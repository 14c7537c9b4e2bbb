# The notification popup, the tray icon with its menu, and the about box.
target_sources(sitemon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/popup_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_text.cpp
)
