# Writes a gzipped manual page (section 1) from what a program prints about
# its own use, so the page cannot drift from the program:
#
#   cmake -DPROGRAM=path -DNAME=bqmark -DSUMMARY="..." -DVERSION=0.1
#         -DHELP_ARGS="--help" [-DSUBCOMMANDS="mark;expect"]
#         [-DEXTRA_ARGS="--list" -DEXTRA_TITLE="CLASSES AND METHODS"]
#         [-DSEE_ALSO="bqdb;bqcall"] -DOUTPUT=path/bqmark.1.gz -P help_to_man.cmake
#
# HELP_ARGS are the arguments that make PROGRAM print its use (standard output
# or standard error; the exit status does not matter, a program's usage
# message usually ends with 2). Each of SUBCOMMANDS adds a subsection with the
# output of `PROGRAM SUB --help`; EXTRA_ARGS a section of its own. The page is
# written beside OUTPUT and renamed, so a failure leaves no half page; an empty
# output fails the build.

foreach(var PROGRAM NAME SUMMARY VERSION OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "help_to_man.cmake: ${var} is not set")
  endif()
endforeach()

# The output of PROGRAM with the arguments ARGS (a list), into OUT.
function(run_program out)
  # A fixed locale and no display: the text must not depend on the machine.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 --unset=DISPLAY --unset=WAYLAND_DISPLAY
            ${PROGRAM} ${ARGN}
    OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr RESULT_VARIABLE rc
    TIMEOUT 30)
  set(text "${stdout}${stderr}")
  string(STRIP "${text}" text)
  # The usage line names the program by the path it was run from.
  string(REPLACE "${PROGRAM}" "${NAME}" text "${text}")
  if(text STREQUAL "" OR rc MATCHES "[^0-9]")
    message(FATAL_ERROR "help_to_man.cmake: `${PROGRAM} ${ARGN}` printed nothing (${rc})")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# TEXT as a block of roff that keeps its lines as they are.
function(roff_block out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  # A line that starts with a dot or a quote would be a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" summary "${SUMMARY}")
set(page ".TH ${title} 1 \"\" \"Brightquill ${VERSION}\" \"Brightquill exam suite\"\n")
string(APPEND page ".SH NAME\n${NAME} \\- ${summary}\n.SH DESCRIPTION\n")
separate_arguments(help_args UNIX_COMMAND "${HELP_ARGS}")
run_program(help ${help_args})
roff_block(block "${help}")
string(APPEND page "${block}")

if(SUBCOMMANDS)
  string(APPEND page ".SH COMMANDS\n")
  foreach(sub IN LISTS SUBCOMMANDS)
    separate_arguments(words UNIX_COMMAND "${sub}")
    run_program(help ${words} --help)
    roff_block(block "${help}")
    string(APPEND page ".SS \"${NAME} ${sub}\"\n${block}")
  endforeach()
endif()

if(EXTRA_ARGS)
  separate_arguments(extra_args UNIX_COMMAND "${EXTRA_ARGS}")
  run_program(extra ${extra_args})
  roff_block(block "${extra}")
  string(APPEND page ".SH \"${EXTRA_TITLE}\"\n${block}")
endif()

if(SEE_ALSO)
  set(refs)
  foreach(other IN LISTS SEE_ALSO)
    list(APPEND refs ".BR ${other} (1)")
  endforeach()
  list(JOIN refs ",\n" refs)
  string(APPEND page ".SH \"SEE ALSO\"\n${refs}\n")
endif()

# gzip -9n: no name or time in the header, so the same page gives the same bytes.
find_program(GZIP gzip REQUIRED)
string(REGEX REPLACE "\\.gz$" ".tmp" plain "${OUTPUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND ${GZIP} -9nf "${plain}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help_to_man.cmake: gzip failed (${rc})")
endif()
file(RENAME "${plain}.gz" "${OUTPUT}")
