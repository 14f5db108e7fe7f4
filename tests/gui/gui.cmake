# The desktop program's tests (Qt Test). The window and dialog tests run on the offscreen
# platform; the end-to-end run wants a real display and runs under xvfb-run when it is there.
find_package(Qt6 REQUIRED COMPONENTS Test)

function(orv_add_gui_test name source)
  add_executable(${name} ${source})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE orv_gui Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    ORV_SAMPLE_STREAM="${ORV_SAMPLE_STREAM}"
    ORV_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
  add_dependencies(${name} sample_stream)
endfunction()

orv_add_gui_test(gui_window_tests gui/main_window_test.cpp)
target_link_libraries(gui_window_tests PRIVATE tsgen)
orv_add_gui_test(gui_dialog_tests gui/dialogs_test.cpp)
orv_add_gui_test(gui_e2e_tests gui/end_to_end_test.cpp)
orv_add_gui_test(gui_info_pages_tests gui/info_pages_test.cpp)
orv_add_gui_test(gui_capture_tests gui/capture_view_test.cpp)
orv_add_gui_test(gui_acquisition_tests gui/acquisition_dialogs_test.cpp)
orv_add_gui_test(gui_timing_pages_tests gui/timing_pages_view_test.cpp)
orv_add_gui_test(gui_print_tests gui/print_dialog_test.cpp)
orv_add_gui_test(gui_buffer_guide_tests gui/buffer_guide_view_test.cpp)
target_compile_definitions(gui_buffer_guide_tests PRIVATE ORV_STREAMS_DIR="${ORV_STREAMS_DIR}")
target_link_libraries(gui_buffer_guide_tests PRIVATE tsgen)
orv_add_gui_test(gui_online_run_tests gui/online_run_test.cpp)
target_link_libraries(gui_online_run_tests PRIVATE tsgen)

foreach(t gui_window_tests gui_dialog_tests gui_info_pages_tests gui_capture_tests
          gui_acquisition_tests gui_timing_pages_tests gui_print_tests gui_buffer_guide_tests
          gui_online_run_tests)
  add_test(NAME ${t} COMMAND ${t})
  set_tests_properties(${t} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endforeach()

find_program(XVFB_RUN xvfb-run)
if(XVFB_RUN)
  add_test(NAME gui_e2e_tests
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x1000x24" $<TARGET_FILE:gui_e2e_tests>)
  set_tests_properties(gui_e2e_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 300)
else()
  message(STATUS "xvfb-run not found: the desktop end-to-end test runs on the offscreen platform")
  add_test(NAME gui_e2e_tests COMMAND gui_e2e_tests)
  set_tests_properties(gui_e2e_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endif()
