# The capture card as a live source. For the tests the source is built a second time, over the
# static card library, so that each test plugs simulated devices of its own (the shared library
# takes its devices from ORV_SIM_DEVICE, once per process). The source uses nothing but the
# library's exports either way.
add_library(card_source_on_static_cardlib STATIC ${PROJECT_SOURCE_DIR}/acquisition/card_source.cpp)
target_include_directories(card_source_on_static_cardlib PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(card_source_on_static_cardlib PUBLIC orv_platform orv_cardlib orv_sim)
orv_add_test(card_source_tests
  SOURCES acquisition/card_source_test.cpp
  LIBS card_source_on_static_cardlib tsgen)
# A program that links only libZelcard.so: the card's event descriptor and the source over it.
orv_add_test(card_source_so_tests
  SOURCES acquisition/card_source_so_test.cpp
  LIBS orv_card_source)
