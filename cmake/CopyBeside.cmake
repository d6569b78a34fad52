# Copies built programs beside a test or benchmark program that loads or
# starts them from its own folder; copied again whenever one is rebuilt.
function(qp_copy_programs_beside target)
  set(stamps "")
  foreach(program ${ARGN})
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_${program}.copied)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${program}> $<TARGET_FILE_DIR:${target}>
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${program})
    list(APPEND stamps ${stamp})
  endforeach()
  add_custom_target(${target}_programs ALL DEPENDS ${stamps})
  add_dependencies(${target} ${target}_programs)
endfunction()
