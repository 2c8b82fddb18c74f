# The jvm.dll double the launch tests load in place of a Java runtime. It
# exports JNI_CreateJavaVM undecorated on x86 too, as a runtime does.
add_library(plimo_jvm_double SHARED ${CMAKE_SOURCE_DIR}/tests/doubles/JvmDouble.cpp)
set_target_properties(plimo_jvm_double PROPERTIES OUTPUT_NAME jvm PREFIX "")
target_include_directories(plimo_jvm_double PRIVATE ${PLIMO_JNI_INCLUDE} ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
target_compile_definitions(plimo_jvm_double PRIVATE ${PLIMO_WIN_DEFS})
target_compile_options(plimo_jvm_double PRIVATE -Wall -Wextra -Wno-cast-function-type)
target_link_options(plimo_jvm_double PRIVATE -static -Wl,--kill-at)
if(TARGET jvmlaunch_wintests)
  add_dependencies(jvmlaunch_wintests plimo_jvm_double)
endif()
