# The main window, the message loop, the drawn buttons and colours, and the program itself.
target_sources(sitemon_core PRIVATE
  button_look.cpp
  window_placement.cpp
)
if(WIN32)
  target_sources(sitemon_win PRIVATE
    button_bt_win.cpp
    message_loop_win.cpp
  )
endif()
