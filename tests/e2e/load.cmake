# Load against the real agent: four phones at once, each with 200 small files and one large
# file, into one inbox, repeated. FL_E2E_SCALE (default 1) divides the large files' size for
# slow (sanitizer) builds; FL_LOAD_ROUNDS sets the repetitions (default 3). Runs alone: it
# takes both cores and about 4.5 GiB of /dev/shm.
if(WIN32 OR NOT TARGET ferrylink OR NOT TARGET ferrylink-send)
  return()
endif()
if(FL_SANITIZE)
  set(FL_E2E_SCALE 8 CACHE STRING "Divides the data sizes of the fault and load tests")
else()
  set(FL_E2E_SCALE 1 CACHE STRING "Divides the data sizes of the fault and load tests")
endif()
add_test(NAME e2e_load_four_phones
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/load/four_phones.sh $<TARGET_FILE:ferrylink>
                 $<TARGET_FILE:ferrylink-send>)
set_tests_properties(e2e_load_four_phones PROPERTIES LABELS "e2e;load" TIMEOUT 1200 RUN_SERIAL ON
                     ENVIRONMENT "FL_E2E_SCALE=${FL_E2E_SCALE};FL_E2E_SANITIZER=${FL_SANITIZE}")
