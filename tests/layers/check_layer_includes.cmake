# Fails when a file of a lower layer includes a header of a higher one. The layers, from the
# bottom: base/ (what every layer uses), reader/ (the reader library), engine/ (the clock
# discipline), service/ (the service shell). A file may include headers of its own layer and
# of the layers below, by any path, from the top of the tree or relative to the file;
# tests/ may include anything and is not looked at.
#   cmake -DROOT=<source tree> -P check_layer_includes.cmake
cmake_minimum_required(VERSION 3.25)
set(LAYERS base reader engine service)

set(checked 0)
set(upward "")
foreach(layer IN LISTS LAYERS)
  list(FIND LAYERS ${layer} rank)
  file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    get_filename_component(file_dir ${file} DIRECTORY)
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
      # A header is found from the top of the tree ("service/x.h") or beside the file
      # ("../service/x.h"): either way names its layer, and the higher one counts.
      set(header_rank -1)
      foreach(candidate "${header}" "${file_dir}/${header}")
        cmake_path(NORMAL_PATH candidate)
        string(REGEX REPLACE "/.*$" "" folder "${candidate}")
        list(FIND LAYERS "${folder}" candidate_rank)
        if(candidate_rank GREATER header_rank)
          set(header_rank ${candidate_rank})
        endif()
      endforeach()
      if(header_rank GREATER rank)
        list(APPEND upward "${file} includes ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no layer folder (${LAYERS}) under ${ROOT}")
endif()
if(upward)
  # The fixed words first: CMake wraps long messages at spaces.
  list(JOIN upward "\n  " shown)
  message(FATAL_ERROR "Includes of a higher layer:\n  ${shown}")
endif()
message(STATUS "Layers ${LAYERS}: ${checked} files, no include of a higher layer")
