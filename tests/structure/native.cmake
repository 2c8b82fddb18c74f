# The include floors of the product folders.
add_test(NAME native_floors COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/floors-test.sh ${CMAKE_SOURCE_DIR})
