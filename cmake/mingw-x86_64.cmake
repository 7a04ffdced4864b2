# Cross toolchain for the x86-64 Windows kernel-mode driver.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# x64 has one calling convention and undecorated names: the entry point is
# DriverEntry itself (driver/CMakeLists.txt names the i686 _DriverEntry@8 otherwise).
set(ORVA_DRIVER_ENTRY_SYMBOL DriverEntry)

# The x86-64 cross runtime ships no import library for videoprt.sys: make one
# from the functions the hosted video port library also provides.
set(_orva_videoprt_exports
    VideoPortInitialize VideoPortGetRegistryParameters VideoPortSetRegistryParameters
    VideoPortGetDeviceBase VideoPortMapMemory VideoPortUnmapMemory
    VideoPortReadPortUchar VideoPortReadPortUshort VideoPortReadPortUlong
    VideoPortWritePortUchar VideoPortWritePortUshort VideoPortWritePortUlong
    VideoPortReadRegisterUchar VideoPortReadRegisterUshort VideoPortReadRegisterUlong
    VideoPortWriteRegisterUchar VideoPortWriteRegisterUshort VideoPortWriteRegisterUlong
    VideoPortStallExecution VideoPortZeroMemory)
set(_orva_implib_dir ${CMAKE_BINARY_DIR}/videoprt-x86_64)
if(NOT EXISTS ${_orva_implib_dir}/libvideoprt.a)
  file(MAKE_DIRECTORY ${_orva_implib_dir})
  list(JOIN _orva_videoprt_exports "\n" _orva_def_body)
  file(WRITE ${_orva_implib_dir}/videoprt.def "LIBRARY videoprt.sys\nEXPORTS\n${_orva_def_body}\n")
  execute_process(
    COMMAND x86_64-w64-mingw32-dlltool --input-def ${_orva_implib_dir}/videoprt.def
            --output-lib ${_orva_implib_dir}/libvideoprt.a --dllname videoprt.sys
    RESULT_VARIABLE _orva_dlltool_result)
  if(NOT _orva_dlltool_result EQUAL 0)
    message(FATAL_ERROR "x86_64-w64-mingw32-dlltool could not make the videoprt import library")
  endif()
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${_orva_implib_dir}")
# A kernel-mode driver links no user-mode system library.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries at the end of every link line")
