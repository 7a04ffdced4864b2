# The host build also cross-builds orva.sys from this same tree and checks the
# image with the cross binutils under ctest.
if(NOT ORVA_BUILD_SYS)
  return()
endif()

find_program(ORVA_MINGW_CXX i686-w64-mingw32-g++ REQUIRED)
find_program(ORVA_MINGW_OBJDUMP i686-w64-mingw32-objdump REQUIRED)

include(ExternalProject)
set(ORVA_SYS_BINARY_DIR ${CMAKE_BINARY_DIR}/orva-sys)
set(ORVA_SYS_FILE ${ORVA_SYS_BINARY_DIR}/driver/orva.sys)
ExternalProject_Add(orva_sys
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${ORVA_SYS_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
    -DORVA_TARGET=ON
    -DCMAKE_BUILD_TYPE=Release
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j2
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${ORVA_SYS_FILE})
