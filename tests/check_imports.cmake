# Checks that each of PROGRAMS (a list of .exe files) imports only DLLs that
# come with Windows, as `objdump -p` lists them: a MinGW runtime DLL
# (libstdc++-6, libgcc_s_seh-1, libwinpthread-1) would be missing beside the
# .exe on a user's machine.
#
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAMS=a.exe;b.exe
#         -P check_imports.cmake
cmake_policy(VERSION 3.25)

set(windows_dlls
  advapi32 bcrypt comctl32 comdlg32 crypt32 gdi32 kernel32 msvcrt ntdll
  ole32 oleaut32 rpcrt4 secur32 shell32 shlwapi ucrtbase user32 userenv
  version winmm ws2_32)

set(failures "")
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND ${OBJDUMP} -p ${program}
                  RESULT_VARIABLE status OUTPUT_VARIABLE dump
                  ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR
      "tarvelin: objdump -p ${program} failed: status ${status}: ${errors}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  if(NOT imports)
    message(FATAL_ERROR "tarvelin: ${program}: no imported DLL listed")
  endif()
  foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${import}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" name)
    string(REGEX REPLACE "\\.dll$" "" name "${name}")
    if(name IN_LIST windows_dlls OR name MATCHES "^api-ms-win-")
      message(STATUS "${program}: ${dll}")
    else()
      string(APPEND failures "\n  ${program}: ${dll}")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR
    "tarvelin: imports a DLL that Windows does not have: ${failures}")
endif()
