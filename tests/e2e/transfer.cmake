# The real agent and the real sender over loopback.
if(TARGET ferrylink AND TARGET ferrylink-send AND NOT WIN32)
  add_test(NAME e2e_transfer
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/transfer/transfer_e2e.sh
                   $<TARGET_FILE:ferrylink> $<TARGET_FILE:ferrylink-send>)
  set_tests_properties(e2e_transfer PROPERTIES LABELS e2e TIMEOUT 600)
endif()

# The same with ferrylink.exe and ferrylink-send.exe under Wine.
if(TARGET ferrylink AND TARGET ferrylink-send AND WIN32)
  add_test(NAME e2e_win_transfer
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/transfer/win_transfer_e2e.sh
                   $<TARGET_FILE:ferrylink> $<TARGET_FILE:ferrylink-send>)
  set_tests_properties(e2e_win_transfer PROPERTIES LABELS e2e TIMEOUT 600)
endif()
