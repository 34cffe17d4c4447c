# Fails when a module includes a header of a module above it.
#
#   cmake -DSOURCE_DIR=<repo> -P cmake/check_layers.cmake
#
# The modules, lowest first, and what each may include. engine and imaging
# know nothing of each other; pipeline joins them; cli and shell are two
# front ends over pipeline and never include each other.
cmake_minimum_required(VERSION 3.22)

set(allowed_engine engine)
set(allowed_imaging imaging)
set(allowed_pipeline engine imaging pipeline)
set(allowed_cli engine imaging pipeline cli)
set(allowed_shell engine imaging pipeline shell)
set(modules engine imaging pipeline cli shell)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers.cmake: pass -DSOURCE_DIR=<the repository>")
endif()
set(src ${SOURCE_DIR}/src)

# An include is resolved as the compiler does: a quoted name first beside the
# including file, then from src/ (every module's include root); an angled one
# from src/ only. Names found in neither are other libraries' and pass.
set(faults 0)
foreach(module IN LISTS modules)
  file(GLOB_RECURSE files ${src}/${module}/*.h ${src}/${module}/*.hpp ${src}/${module}/*.cpp
       ${src}/${module}/*.cc ${src}/${module}/*.inc)
  list(SORT files)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
    get_filename_component(dir ${file} DIRECTORY)
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">].*" "\\1;\\2" parts "${line}")
      list(GET parts 0 form)
      list(GET parts 1 name)
      set(target "")
      if(form STREQUAL "\"" AND EXISTS ${dir}/${name})
        set(target ${dir}/${name})
      elseif(EXISTS ${src}/${name})
        set(target ${src}/${name})
      endif()
      if(target STREQUAL "")
        continue()
      endif()
      cmake_path(NORMAL_PATH target)
      cmake_path(IS_PREFIX src ${target} NORMALIZE inside)
      if(NOT inside)
        continue()
      endif()
      file(RELATIVE_PATH relative ${src} ${target})
      string(REGEX REPLACE "/.*" "" included ${relative})
      if(NOT included IN_LIST modules OR included IN_LIST allowed_${module})
        continue()
      endif()
      file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
      string(REPLACE ";" ", " may "${allowed_${module}}")
      message("${shown}: includes \"${name}\" of ${included}; ${module} may include only ${may}")
      math(EXPR faults "${faults} + 1")
    endforeach()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) of a higher or a sibling module (see above)")
endif()
