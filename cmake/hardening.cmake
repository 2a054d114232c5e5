# Hardening and reproducible output for every target of every build: a packager or a user
# building from source gets them without flags of their own. docs/hardening.md lists what
# each binary gets and how the checks see it.

if(MSVC)
  return()
endif()

# The build's folders stay out of the binaries (file names in debug information,
# __FILE__ in assertions), so two folders give the same bytes. The build folder is
# named last: GCC tries the maps from the last one given, and the build folder may lie
# inside the source folder.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)

# rcc writes each resource file's time into the program (from SOURCE_DATE_EPOCH, if the
# build's environment has it), so a fresh checkout would give other bytes. The first
# format has no times; nothing reads them.
set(CMAKE_AUTORCC_OPTIONS --format-version 1)

# Fortify rewrites calls into checked ones only when optimising, and under the sanitizers
# its checked calls would bypass their interceptors, so those builds go without it. -U
# first: some compilers define it already, and a redefinition would be a warning.
set(vellmor_optimising $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
if(NOT VELLMOR_SANITIZE)
  add_compile_options($<${vellmor_optimising}:-U_FORTIFY_SOURCE> $<${vellmor_optimising}:-D_FORTIFY_SOURCE=2>)
endif()

add_compile_options(-fstack-protector-strong)
if(WIN32)
  # mingw-w64's stack protector and checked calls come from libssp, which GCC links
  # only when the link is told too; statically, like the rest of the runtime.
  add_link_options(-fstack-protector-strong)
endif()

if(WIN32)
  # Windows probes each new stack page itself (___chkstk_ms), and GCC's control-flow
  # marks have no PE flag to turn them on, so neither -fstack-clash-protection nor
  # -fcf-protection applies. ASLR with 64-bit entropy and DEP are said explicitly; no
  # link time in the header, so one commit links to the same bytes.
  add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat -Wl,--no-insert-timestamp)
  return()
endif()

add_compile_options(-fstack-clash-protection -fcf-protection)
add_link_options(-Wl,-z,relro,-z,now)

# Position-independent executables (CMAKE_POSITION_INDEPENDENT_CODE is on).
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
