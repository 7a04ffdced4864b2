# The host build also cross-builds orva.sys from this same tree, for i686 and
# for x86-64: ctest checks both images with the cross binutils, and both run on
# the hosted video port library through the PE loader.
#
# Sets ORVA_SYS_FILE (i686) and ORVA_SYS_X86_64_FILE, and makes the targets
# orva_sys and orva_sys_x86_64.
if(NOT ORVA_BUILD_SYS)
  set(ORVA_SYS_FILE "")
  set(ORVA_SYS_X86_64_FILE "")
  return()
endif()

find_program(ORVA_MINGW_CXX i686-w64-mingw32-g++ REQUIRED)
find_program(ORVA_MINGW_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
find_program(ORVA_MINGW_CXX_X86_64 x86_64-w64-mingw32-g++ REQUIRED)
find_program(ORVA_MINGW_OBJDUMP_X86_64 x86_64-w64-mingw32-objdump REQUIRED)
# The package's images are stripped copies; their symbols ship beside them.
find_program(ORVA_MINGW_OBJCOPY i686-w64-mingw32-objcopy REQUIRED)
find_program(ORVA_MINGW_OBJCOPY_X86_64 x86_64-w64-mingw32-objcopy REQUIRED)

set(ORVA_SYS_FILE ${CMAKE_BINARY_DIR}/orva-sys/driver/orva.sys)
set(ORVA_SYS_X86_64_FILE ${CMAKE_BINARY_DIR}/orva-sys-x86_64/driver/orva.sys)

include(ExternalProject)
# One external build per machine, each with its toolchain file.
function(orva_add_sys target toolchain file)
  get_filename_component(binary_dir ${file}/../.. ABSOLUTE)
  ExternalProject_Add(${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${binary_dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain}
      -DORVA_TARGET=ON
      -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j2
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${file})
endfunction()

orva_add_sys(orva_sys mingw-i686.cmake ${ORVA_SYS_FILE})
orva_add_sys(orva_sys_x86_64 mingw-x86_64.cmake ${ORVA_SYS_X86_64_FILE})
