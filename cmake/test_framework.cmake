# GoogleTest for the test programs.
find_package(GTest REQUIRED)
include(GoogleTest)
