# The panel's benchmark: start-up, memory, data exchange, sampling pass.
if(TARGET korvanthine_panel AND TARGET korvanthine_test_support)
  add_executable(bench_panel ${CMAKE_CURRENT_LIST_DIR}/bench_panel.cpp)
  target_link_libraries(bench_panel PRIVATE korvanthine_panel korvanthine_test_support korvanthine_bench_measure)
endif()
