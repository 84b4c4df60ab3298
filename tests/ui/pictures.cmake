# The window drawn in each state, compared with the approved pictures
# exactly: one machine image draws both, so any changed pixel is a change
# to review (scripts/approve-pictures shows it and takes the new pictures).
#   cmake -D TOOL=... [-D RUNNER=...] -D SOURCE=<repository> -D APPROVED=<folder>
#         -D SEEN=<folder> -P pictures.cmake
file(REMOVE_RECURSE ${SEEN})
file(MAKE_DIRECTORY ${SEEN})
execute_process(COMMAND ${SOURCE}/scripts/sample-task-file ${SEEN}/task
                OUTPUT_VARIABLE task_file OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${RUNNER} ${TOOL} ${task_file} ${SEEN} RESULT_VARIABLE drawn)
if(drawn EQUAL 77)
  message(STATUS "skipped: ${RUNNER} runs nothing here")
  return()
elseif(NOT drawn EQUAL 0)
  message(FATAL_ERROR "the pictures could not be drawn (${drawn})")
endif()
file(GLOB approved RELATIVE ${APPROVED} ${APPROVED}/*.png)
file(GLOB seen RELATIVE ${SEEN} ${SEEN}/*.png)
if(NOT approved STREQUAL seen)
  message(FATAL_ERROR "approved ${approved}, drawn ${seen}")
endif()
foreach(name IN LISTS approved)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${APPROVED}/${name} ${SEEN}/${name}
                  RESULT_VARIABLE differs)
  if(differs)
    list(APPEND changed ${name})
  endif()
endforeach()
if(changed)
  message(FATAL_ERROR "changed: ${changed}\nnew pictures in ${SEEN}; scripts/approve-pictures")
endif()
