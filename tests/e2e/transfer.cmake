# Receiving end to end: the session tests drive a real receive session with a peer built from
# ferrylink-send's own code, so they link the sender's units as well.
foreach(t recv_recv_test recv_transfer_test)
  if(TARGET ${t} AND TARGET fl_send)
    target_link_libraries(${t} PRIVATE fl_send)
  endif()
endforeach()

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
