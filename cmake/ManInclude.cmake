# Writes the help2man include file for a program with subcommands: the
# hand-written sections of STATIC, then a COMMANDS section with the usage,
# arguments and options of every subcommand that PROGRAM --help lists, as
# PROGRAM COMMAND --help prints them.
#   cmake -DPROGRAM=... -DSTATIC=... -DOUTPUT=... -P ManInclude.cmake
file(READ ${STATIC} text)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
get_filename_component(name ${PROGRAM} NAME)

# The subcommands: the indented names after the "Subcommands:" heading.
string(REGEX REPLACE "^.*\nSubcommands:\n" "" listing "${help}")
string(REGEX REPLACE "\n\n.*$" "" listing "${listing}")
string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9-]*" commands "${listing}")

string(APPEND text "\n[COMMANDS]\n")
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE usage)
  # From the usage line to the end of the options; the notes after them
  # are the same as the main help's.
  string(REGEX REPLACE "^.*\n(Usage:)" "\\1" usage "${usage}")
  string(REGEX REPLACE "(\nOptions:\n([^\n]+\n)*).*$" "\\1" usage "${usage}")
  # Plain roff: backslashes escaped, no line starting a request.
  string(REPLACE "\\" "\\e" usage "${usage}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" usage "${usage}")
  string(APPEND text ".SS \"${name} ${command}\"\n.nf\n${usage}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
