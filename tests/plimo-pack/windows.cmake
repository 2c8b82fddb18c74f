# Reads an installer's branding through the Windows API under Wine
# (tests/plimo-pack/branding-test.sh, run from the native configuration).
add_executable(branding_probe ${CMAKE_CURRENT_LIST_DIR}/WinBrandingProbe.cpp)
set_target_properties(branding_probe PROPERTIES OUTPUT_NAME branding-probe)
target_compile_definitions(branding_probe PRIVATE ${PLIMO_WIN_DEFS})
target_compile_options(branding_probe PRIVATE -Wall -Wextra)
target_link_libraries(branding_probe PRIVATE version gdi32 user32)
target_link_options(branding_probe PRIVATE -static)
