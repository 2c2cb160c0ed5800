# Makes the Windows download with cpack in a directory of its own, checks it
# holds exactly tarvelin.exe and README.md, unpacks it and starts the unpacked
# program under the emulator with "0" as its input.
#
#   cmake -DCPACK=cpack -DBUILD_DIR=build/mingw -DSOURCE_DIR=.
#         -DPACKAGE=tarvelin-1.1.0-win64.zip -DEMULATOR=env;...;wine
#         -P check_package.cmake
set(work "${BUILD_DIR}/package-check")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/unpacked")

execute_process(COMMAND "${CPACK}" --config "${BUILD_DIR}/CPackConfig.cmake"
                        -B "${work}"
                WORKING_DIRECTORY "${BUILD_DIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT EXISTS "${work}/${PACKAGE}")
  message(FATAL_ERROR
    "tarvelin: cpack did not make ${PACKAGE}: status ${status}:\n${output}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${work}/${PACKAGE}"
                RESULT_VARIABLE status OUTPUT_VARIABLE listing)
string(REGEX REPLACE "[\r\n]+$" "" listing "${listing}")
string(REGEX REPLACE "[\r\n]+" ";" entries "${listing}")
list(SORT entries)
message(STATUS "${PACKAGE} holds: ${entries}")
if(NOT status EQUAL 0 OR NOT entries STREQUAL "README.md;tarvelin.exe")
  message(FATAL_ERROR
    "tarvelin: ${PACKAGE} holds \"${entries}\", "
    "not \"README.md;tarvelin.exe\"")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${work}/${PACKAGE}"
                WORKING_DIRECTORY "${work}/unpacked"
                RESULT_VARIABLE status)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                        "${SOURCE_DIR}/README.md" "${work}/unpacked/README.md"
                RESULT_VARIABLE differs)
if(NOT status EQUAL 0 OR NOT differs EQUAL 0)
  message(FATAL_ERROR
    "tarvelin: the README.md in ${PACKAGE} is not the project's")
endif()

file(WRITE "${work}/input.txt" "0\n")
execute_process(COMMAND ${EMULATOR} "${work}/unpacked/tarvelin.exe"
                WORKING_DIRECTORY "${work}/unpacked"
                INPUT_FILE "${work}/input.txt"
                OUTPUT_FILE "${work}/output.txt"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
# Compared as hex: OUTPUT_VARIABLE and a plain file(READ) turn CR LF into LF,
# and the banner must come with the CR LF of Windows text mode.
file(READ "${work}/output.txt" output_hex HEX)
file(READ "${work}/output.txt" output)
string(HEX "\tTarvelin 1.1\r\n\t  Created by: Quellmarr\r\n\r\n" banner_hex)
string(FIND "${output_hex}" "${banner_hex}" at)
if(NOT status EQUAL 0 OR NOT at EQUAL 0)
  message(FATAL_ERROR
    "tarvelin: the unpacked tarvelin.exe did not start as it should: "
    "status ${status}, output:\n${output}\n${errors}")
endif()
message(STATUS "the unpacked tarvelin.exe shows its banner and exits with 0")
