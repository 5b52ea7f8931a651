# The Windows desktop seen from outside: a driver program acts as the user and the shell
# against the real agent under Wine; its hook library reads popup menus and answers the
# folder picker on the agent's window thread.
if(NOT TARGET ferrylink OR NOT WIN32)
  return()
endif()
add_library(desk_hook MODULE desktop/desk_hook.cpp)
set_target_properties(desk_hook PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(desk_hook PRIVATE user32 shell32)
add_executable(desk_driver desktop/desk_driver.cpp)
target_link_options(desk_driver PRIVATE -municode)
target_link_libraries(desk_driver PRIVATE user32 shell32)
add_dependencies(desk_driver desk_hook)
