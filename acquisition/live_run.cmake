# Online analysis: the acquisition thread over any live source and the run control.
find_package(Threads REQUIRED)
target_sources(orv_acquisition PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/acquisition_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_control.cpp
)
target_link_libraries(orv_acquisition PUBLIC Threads::Threads)
