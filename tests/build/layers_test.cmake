# The layer check, run over small trees of one file each: every include a
# module may make passes, every include of a module above or beside it fails.
#
#   cmake -DCHECK=<cmake/check_layers.cmake> -DWORK=<scratch folder> -P layers_test.cmake

# Each row: the including file, what it includes, and whether that is allowed.
set(cases
  "engine/render.cpp|engine/engine.h|pass"
  "engine/render.cpp|../imaging/image.h|fail"
  "imaging/gif/gif_reader.cpp|imaging/image.h|pass"
  "imaging/gif/gif_reader.cpp|../image.h|pass"
  "imaging/errors.h|engine/engine.h|fail"
  "imaging/gif/gif_reader.cpp|<pipeline/convert.h>|fail"
  "pipeline/convert.cpp|engine/engine.h|pass"
  "pipeline/convert.cpp|imaging/gif/gif_reader.h|pass"
  "pipeline/convert.cpp|cli/common.h|fail"
  "cli/info.cpp|pipeline/convert.h|pass"
  "cli/info.cpp|shell/pages.h|fail"
  "shell/pages.cpp|cli/common.h|fail"
  "shell/pages.cpp|<QWidget>|pass")

# The headers that the includes name.
set(headers engine/engine.h imaging/image.h imaging/gif/gif_reader.h pipeline/convert.h cli/common.h shell/pages.h)

set(failures 0)
set(n 0)
foreach(row IN LISTS cases)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 file)
  list(GET fields 1 name)
  list(GET fields 2 expected)
  math(EXPR n "${n} + 1")
  set(tree ${WORK}/case${n})
  file(REMOVE_RECURSE ${tree})
  foreach(header IN LISTS headers)
    file(WRITE ${tree}/src/${header} "#pragma once\n")
  endforeach()
  if(name MATCHES "^<")
    file(WRITE ${tree}/src/${file} "#include ${name}\n")
  else()
    file(WRITE ${tree}/src/${file} "#include \"${name}\"\n")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(result EQUAL 0)
    set(got pass)
  else()
    set(got fail)
  endif()
  if(NOT got STREQUAL expected)
    message("${file} including ${name}: expected ${expected}, got ${got}\n${out}")
    math(EXPR failures "${failures} + 1")
  elseif(got STREQUAL "fail" AND NOT out MATCHES "src/${file}: includes")
    message("${file} including ${name}: refused without naming the file\n${out}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of ${n} cases wrong")
endif()
message("all ${n} cases right")
