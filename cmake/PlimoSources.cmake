# Product sources by subsystem. A file whose name starts with "Win" belongs to
# the Win32 shell; every other file is portable and builds natively as well.
# From the top floor down: each folder includes only folders after it.
set(PLIMO_SUBSYSTEMS launcher provision jvmlaunch jvmsearch base block)
set(PLIMO_PORTABLE_SOURCES)
set(PLIMO_WIN_SOURCES)
foreach(dir IN LISTS PLIMO_SUBSYSTEMS)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  foreach(src IN LISTS srcs)
    get_filename_component(name ${src} NAME)
    if(name MATCHES "^Win")
      list(APPEND PLIMO_WIN_SOURCES ${src})
    else()
      list(APPEND PLIMO_PORTABLE_SOURCES ${src})
    endif()
  endforeach()
endforeach()

# The entry point and the error-reporting module end the process. They are
# linked into the stub only, so that test programs can bring their own; so is
# the stub's trimmed C++ runtime support (test programs need exceptions).
set(PLIMO_STUB_ONLY_SOURCES
  ${CMAKE_SOURCE_DIR}/launcher/WinMain.cpp
  ${CMAKE_SOURCE_DIR}/launcher/WinErrorReport.cpp
  ${CMAKE_SOURCE_DIR}/launcher/WinStubRuntime.cpp
  ${CMAKE_SOURCE_DIR}/provision/StubZlibChecksums.cpp)
list(REMOVE_ITEM PLIMO_WIN_SOURCES ${PLIMO_STUB_ONLY_SOURCES})
list(REMOVE_ITEM PLIMO_PORTABLE_SOURCES ${PLIMO_STUB_ONLY_SOURCES})

# The block writer belongs to plimo-pack; test programs that build blocks and
# installers for the stub's reader compile it too. It is never in the stub.
set(PLIMO_BLOCK_WRITER_SOURCES ${CMAKE_SOURCE_DIR}/tools/plimo-pack/BlockWriter.cpp)

# Tests mirror the product folders; Win*Test.cpp files need the Windows API.
set(PLIMO_TEST_FOLDERS ${PLIMO_SUBSYSTEMS})
function(plimo_test_sources folder out_portable out_win)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*Test.cpp)
  set(portable)
  set(win)
  foreach(src IN LISTS srcs)
    get_filename_component(name ${src} NAME)
    if(name MATCHES "^Win")
      list(APPEND win ${src})
    else()
      list(APPEND portable ${src})
    endif()
  endforeach()
  set(${out_portable} ${portable} PARENT_SCOPE)
  set(${out_win} ${win} PARENT_SCOPE)
endfunction()

file(GLOB PLIMO_TEST_SUPPORT_ALL CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
set(PLIMO_TEST_SUPPORT_PORTABLE)
set(PLIMO_TEST_SUPPORT_WIN)
foreach(src IN LISTS PLIMO_TEST_SUPPORT_ALL)
  get_filename_component(name ${src} NAME)
  if(name MATCHES "^Win")
    list(APPEND PLIMO_TEST_SUPPORT_WIN ${src})
  else()
    list(APPEND PLIMO_TEST_SUPPORT_PORTABLE ${src})
  endif()
endforeach()

set(PLIMO_JDK_HOME /usr/lib/jvm/java-17-openjdk-amd64 CACHE PATH "JDK whose jni.h the launcher compiles against")
set(PLIMO_JNI_INCLUDE ${PLIMO_JDK_HOME}/include)
if(NOT EXISTS ${PLIMO_JNI_INCLUDE}/jni.h)
  message(FATAL_ERROR "jni.h not found below ${PLIMO_JNI_INCLUDE}; install openjdk-17-jdk-headless")
endif()
