# The launch's JNI call sequence against the installed JDK: a host program
# that links the portable launch (without sanitizers, which a JVM does not
# tolerate) and a small Java program compiled here. One process per case:
# a process can create only one VM.
set(PLIMO_PROBE_CLASSES ${CMAKE_BINARY_DIR}/jvmlaunch-probe)
set(PLIMO_PROBE_SOURCE ${CMAKE_SOURCE_DIR}/tests/jvmlaunch/java/probe/LaunchProbe.java)
add_custom_command(
  OUTPUT ${PLIMO_PROBE_CLASSES}/probe/LaunchProbe.class
  COMMAND ${PLIMO_JDK_HOME}/bin/javac -encoding UTF-8 -d ${PLIMO_PROBE_CLASSES} ${PLIMO_PROBE_SOURCE}
  DEPENDS ${PLIMO_PROBE_SOURCE}
  COMMENT "Compiling the launch probe")
add_custom_target(jvmlaunch_probe DEPENDS ${PLIMO_PROBE_CLASSES}/probe/LaunchProbe.class)

set(PLIMO_LIBJVM ${PLIMO_JDK_HOME}/lib/server/libjvm.so)
add_executable(jvmlaunch_jdkhost ${CMAKE_SOURCE_DIR}/tests/jvmlaunch/JdkHost.cpp)
target_link_libraries(jvmlaunch_jdkhost PRIVATE plimo_core_plain ${CMAKE_DL_LIBS} pthread)
target_compile_definitions(jvmlaunch_jdkhost PRIVATE PLIMO_LIBJVM="${PLIMO_LIBJVM}")
add_dependencies(jvmlaunch_jdkhost jvmlaunch_probe)
# The VM options file beside the host: its line must reach the VM before
# the class path option.
file(WRITE ${CMAKE_BINARY_DIR}/bin/jvmlaunch_jdkhost.vmoptions "-Dprobe.fromFile=yes\r\n")

set(jdk_common --cfg 122=probe.LaunchProbe
    "--cfg" "123=-Djava.class.path=${PLIMO_PROBE_CLASSES} -Dprobe.temp=%PLIMO_TEMPDIR%"
    --cfg "1010=Main class not found." --cfg "1011=Main method not found." --tempdir /tmp/plimo-probe-temp)
function(plimo_jdk_test name regex)
  add_test(NAME native_jvmlaunch_jdk_${name} COMMAND jvmlaunch_jdkhost ${jdk_common} ${ARGN})
  set_tests_properties(native_jvmlaunch_jdk_${name} PROPERTIES PASS_REGULAR_EXPRESSION "${regex}" TIMEOUT 120)
endfunction()

plimo_jdk_test(arguments
  "argc=6\narg0=\\[-q\\] [^\n]*\narg1=\\[two words\\] [^\n]*\narg2=\\[a\\] [^\n]*\narg3=\\[[^\n]*U\\+00E9\narg4=[^\n]*U\\+65E5 U\\+672C\narg5=[^\n]*U\\+1F600\nproperty plimo.moduleName=/[^\n]*/jvmlaunch_jdkhost\n.*property plimo.manualJre=null\n.*property probe.temp=/tmp/plimo-probe-temp\n.*property probe.fromFile=yes\n.*main done\n.*launchJvm=1"
  --cfg "124=-q 'two words'" --tail "a é 日本 😀")
plimo_jdk_test(no_arguments "argc=0\n.*main done\n.*launchJvm=1")
plimo_jdk_test(manual "argc=1\narg0=\\[/manual\\].*property plimo.manualJre=true\n.*launchJvm=1"
  --manual --tail /manual)
# The "-J" items come last, so they win over the configured parameters.
plimo_jdk_test(forwarded_options "argc=1\narg0=\\[data.txt\\].*property probe.temp=fromJ\n.*launchJvm=1"
  --cfg 125=1 --tail "-J-Dprobe.temp=fromJ data.txt")
plimo_jdk_test(exception_from_main "IllegalStateException: probe failure.*launchJvm=0" --tail throw)
# System.exit reaches the launcher's exit hook with its status, and nothing
# of main runs after it.
plimo_jdk_test(exit_hook "calling System.exit\\(7\\)\nexit hook 7\n" --tail exit)
set_tests_properties(native_jvmlaunch_jdk_exit_hook PROPERTIES FAIL_REGULAR_EXPRESSION "main done|launchJvm=")
plimo_jdk_test(waits_for_threads "main done\n.*worker thread done\n.*launchJvm=1" --tail thread)
plimo_jdk_test(missing_class "fatal 1010: Main class not found." --cfg 122=probe.Missing)
plimo_jdk_test(missing_method "fatal 1011: Main method not found." --cfg 122=java.lang.Object)

# The benchmark: run by hand (bin/LaunchBench [rounds]); not a test.
add_executable(LaunchBench ${CMAKE_SOURCE_DIR}/bench/LaunchBench.cpp)
target_link_libraries(LaunchBench PRIVATE plimo_core_plain ${CMAKE_DL_LIBS} pthread)
target_include_directories(LaunchBench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(LaunchBench PRIVATE PLIMO_LIBJVM="${PLIMO_LIBJVM}" PLIMO_PROBE_CLASSES="${PLIMO_PROBE_CLASSES}")
add_dependencies(LaunchBench jvmlaunch_probe)
