# Receiving end to end: the session tests drive a real receive session with a peer built from
# ferrylink-send's own code, so they link the sender's units as well.
foreach(t recv_recv_test recv_transfer_test)
  if(TARGET ${t} AND TARGET fl_send)
    target_link_libraries(${t} PRIVATE fl_send)
  endif()
endforeach()
