# soak: the real panel sampling against the simulator for a given time while
# the simulator cycles through its fault modes (scripts/test.sh runs it for
# two minutes). Every exchange is counted through a linker wrap of
# ExchangeFrame(const char*).
if(TARGET korvanthine_panel AND TARGET korvanthine_test_support)
  add_executable(soak
    ${CMAKE_CURRENT_LIST_DIR}/soak.cpp
    ${CMAKE_CURRENT_LIST_DIR}/soak_conductor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/soak_exchange_count.cpp
  )
  target_link_libraries(soak PRIVATE korvanthine_panel korvanthine_test_support)
  target_link_options(soak PRIVATE -Wl,--wrap=_Z13ExchangeFramePKc)
endif()
