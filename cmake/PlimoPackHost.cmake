# A tree that builds only plimo-pack: its Windows build (MinGW-w64, which
# scripts/build.sh configures with -DPLIMO_PACK_ONLY=ON and the x64
# toolchain), or a build on a host without the launcher's tool chain (macOS).
# It holds the portable core plimo-pack shares with the launcher, and the tool.
find_package(ZLIB REQUIRED)
add_library(plimo_core_plain STATIC ${PLIMO_PORTABLE_SOURCES})
# jni_md.h: the launcher's own for Windows, else the JDK's for its host.
if(WIN32)
  set(jni_md ${CMAKE_SOURCE_DIR}/jvmlaunch/jni-win)
else()
  set(jni_md ${PLIMO_JNI_INCLUDE}/linux ${PLIMO_JNI_INCLUDE}/darwin)
endif()
target_include_directories(plimo_core_plain PUBLIC ${CMAKE_SOURCE_DIR} ${PLIMO_JNI_INCLUDE} ${jni_md})
target_link_libraries(plimo_core_plain PUBLIC ZLIB::ZLIB)

if(WIN32 AND CMAKE_CROSSCOMPILING)
  # toml++ and CLI11 are header-only and live in the build machine's
  # /usr/include, which must not go on the cross compiler's include path (the
  # C library's headers there would shadow MinGW's): their folders are linked
  # into a directory of their own.
  set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${host_headers})
  foreach(dir toml++ CLI)
    file(CREATE_LINK /usr/include/${dir} ${host_headers}/${dir} SYMBOLIC)
  endforeach()
  set(PLIMO_TOMLPP_INCLUDE ${host_headers} CACHE PATH "toml++ headers" FORCE)
  file(WRITE ${CMAKE_BINARY_DIR}/host-cli11/CLI11Config.cmake
       "if(NOT TARGET CLI11::CLI11)\n  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
       "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${host_headers})\nendif()\n")
  set(CLI11_DIR ${CMAKE_BINARY_DIR}/host-cli11 CACHE PATH "CLI11 (header only)" FORCE)
endif()

add_subdirectory(tools/plimo-pack)
