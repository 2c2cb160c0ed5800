# Readies the Wine prefix for a test run: starts its Wine server for the run,
# then boots the prefix (making it on the first run), both away from ctest's
# output pipes.
#
#   cmake "-DEMULATOR=cmake;-E;env;WINEPREFIX=...;/usr/bin/wine"
#         -DLOG=build/mingw/tests/wine_prefix.log -P wine_prefix.cmake
#
# EMULATOR ends in the wine program; what comes before it sets the
# environment, and starts the wineserver beside wine the same way.
#
# Without this, each test program starts a Wine server of its own, which
# takes seconds, and the server and the services it starts hold the test's
# output pipe open for seconds after the program has ended: about four
# seconds more for each GoogleTest case. The server started here lets each
# case start at once, and ends by itself once no Wine program has run for
# idle_seconds.
set(idle_seconds 30)

list(POP_BACK EMULATOR wine)
get_filename_component(wine_directory "${wine}" DIRECTORY)
find_program(wineserver NAMES wineserver HINTS "${wine_directory}"
             NO_CACHE)

if(wineserver)
  execute_process(COMMAND ${EMULATOR} "${wineserver}" -p${idle_seconds}
                  OUTPUT_FILE /dev/null ERROR_FILE /dev/null
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    # A server runs already. One that a test run left is what we want; one
    # that is about to end (listing the test cases starts one) is waited
    # for, and then replaced.
    execute_process(COMMAND ${EMULATOR} "${wineserver}" -w TIMEOUT 5
                    OUTPUT_FILE /dev/null ERROR_FILE /dev/null
                    RESULT_VARIABLE status)
    if(status EQUAL 0)
      execute_process(COMMAND ${EMULATOR} "${wineserver}" -p${idle_seconds}
                      OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
    endif()
  endif()
endif()

execute_process(COMMAND ${EMULATOR} "${wine}" wineboot -i
                OUTPUT_FILE "${LOG}" ERROR_FILE "${LOG}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(READ "${LOG}" output)
  message(FATAL_ERROR
    "tarvelin: booting the Wine prefix failed: status ${status}:\n${output}")
endif()
