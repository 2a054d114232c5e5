# Checks the checked-in pictures: their file structure, and their pixels as Qt's image
# reader gives them.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(vellmor_pictures_tests ${CMAKE_CURRENT_LIST_DIR}/banner_gif_test.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/pictures_test.cpp)
target_compile_definitions(vellmor_pictures_tests
                           PRIVATE VELLMOR_PICTURES_DIR="${PROJECT_SOURCE_DIR}/src/design/pictures")
target_link_libraries(vellmor_pictures_tests PRIVATE Qt6::Gui GTest::gtest_main vellmor_warnings)
gtest_discover_tests(vellmor_pictures_tests)
