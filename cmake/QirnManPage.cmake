# Writes the man page of one tool from its own --help and --version output.
# Run as a script: cmake -DTOOL=EXE -DNAME=NAME -DSUMMARY=TEXT -DSOURCE=TEXT
#   [-DSYNOPSIS=TEXT] [-DEXTRA=FILE] -DOUTPUT=FILE -P QirnManPage.cmake
# SYNOPSIS is taken from a first help line "Usage: ..." when there is one;
# EXTRA is troff text added after the description.

# The text as troff words: a backslash and a minus keep their look, and a line
# that starts with a dot or an apostrophe is not read as a request.
function(troff_escape text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(tool_output option out)
  execute_process(COMMAND "${TOOL}" ${option} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${option} exited with ${status}")
  endif()
  string(REGEX REPLACE "\n$" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

tool_output(--help help)
tool_output(--version version)
if(help MATCHES "^Usage: ([^\n]*)\n(.*)$")
  set(SYNOPSIS "${CMAKE_MATCH_1}")
  set(help "${CMAKE_MATCH_2}")
endif()
string(TOUPPER "${NAME}" title)
foreach(part title NAME SUMMARY SOURCE SYNOPSIS help version)
  troff_escape("${${part}}" ${part})
endforeach()
set(extra "")
if(EXTRA)
  file(READ "${EXTRA}" extra)
endif()

file(WRITE "${OUTPUT}" ".TH ${title} 1 \"\" \"${SOURCE}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${SYNOPSIS}
.fi
.SH DESCRIPTION
.nf
${help}
.fi
${extra}.SH VERSION
${version}
")
