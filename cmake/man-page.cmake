# Writes the man page of one program from its --help (help2man), with the extra sections of an
# include file and, for a program with subcommands, the help of each subcommand.
#   cmake -DPROGRAM=... -DNAME=... -DINCLUDE=... -DSUBCOMMANDS="a;b" -DOUTPUT=x.1.gz
#         -DHELP2MAN=... -DWORKDIR=... -P man-page.cmake
# The program runs by its plain name, so that its usage lines do not show the build folder.
get_filename_component(folder ${PROGRAM} DIRECTORY)
get_filename_component(program ${PROGRAM} NAME)
set(ENV{PATH} "${folder}:$ENV{PATH}")
set(text "")
if(SUBCOMMANDS)
    set(text "[COMMANDS]\n")
    foreach(sub ${SUBCOMMANDS})
        execute_process(COMMAND ${program} ${sub} --help OUTPUT_VARIABLE help
            RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "${PROGRAM} ${sub} --help failed")
        endif()
        # Plain text for roff and help2man: backslashes escaped, no line taken for a request or
        # for the [section] of an include file.
        string(REPLACE "\\" "\\e" help "${help}")
        string(REGEX REPLACE "(^|\n)([.'[])" "\\1\\\\&\\2" help "${help}")
        string(APPEND text ".SS ${sub}\n.nf\n${help}.fi\n")
    endforeach()
endif()
get_filename_component(name ${OUTPUT} NAME_WLE)
set(combined ${OUTPUT}.h2m)
file(READ ${INCLUDE} extra)
file(WRITE ${combined} "${extra}\n${text}")
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
    --include=${combined} "--name=${NAME}" --output=${name}.tmp ${program}
    WORKING_DIRECTORY ${WORKDIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
execute_process(COMMAND gzip -9nf ${name}.tmp WORKING_DIRECTORY ${WORKDIR} RESULT_VARIABLE rc)
file(RENAME ${WORKDIR}/${name}.tmp.gz ${OUTPUT})
file(REMOVE ${combined})
