# Start-up, single copy, log and self-test of the real agent process.
if(NOT TARGET ferrylink)
  return()
endif()
if(WIN32)
  # The desktop tests' driver (desktop.cmake) answers the boxes and quits the agent.
  add_test(NAME e2e_win_agent_lifecycle
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/shell/win_agent_lifecycle.sh
                   $<TARGET_FILE:ferrylink> $<TARGET_FILE:desk_driver>)
  set_tests_properties(e2e_win_agent_lifecycle PROPERTIES LABELS e2e TIMEOUT 300)
else()
  add_test(NAME e2e_agent_lifecycle
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/shell/agent_lifecycle.sh $<TARGET_FILE:ferrylink>
                   $<TARGET_FILE:ferrylink-send>)
  set_tests_properties(e2e_agent_lifecycle PROPERTIES LABELS e2e TIMEOUT 300
                       ENVIRONMENT "FL_E2E_SANITIZER=${FL_SANITIZE}")
endif()
