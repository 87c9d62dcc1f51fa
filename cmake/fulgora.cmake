# Warning flags shared by every target of the project.
function(fulgora_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual
    -Woverloaded-virtual -Wformat=2 -Wundef)
  if(FULGORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# The layers below each layer (fulgora_below_<layer>), from the one table
# that tests/layers/check_includes.sh reads too.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/layers.txt)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/layers.txt fulgora_layer_rows REGEX "^[a-z]+:")
foreach(row ${fulgora_layer_rows})
  string(REGEX MATCH "^([a-z]+):(.*)$" _ "${row}")
  separate_arguments(below UNIX_COMMAND "${CMAKE_MATCH_2}")
  set(fulgora_below_${CMAKE_MATCH_1} ${below})
endforeach()

# A layer's view of the tree: a folder in the build tree holding links named
# after its own folder and the folders below it, and nothing else. Given as
# the layer's only include folder, an include that points up or sideways
# names a file the compiler cannot find. Includes keep their spelling from the
# top of the tree ("engine/led_engine.h").
function(fulgora_include_view layer out)
  set(view ${CMAKE_BINARY_DIR}/include_view/${layer})
  set(wanted ${layer} ${fulgora_below_${layer}})
  file(MAKE_DIRECTORY ${view})
  # A link an earlier table left goes; only the link, never what it points to.
  file(GLOB present LIST_DIRECTORIES true ${view}/*)
  foreach(entry ${present})
    get_filename_component(folder ${entry} NAME)
    if(IS_SYMLINK ${entry} AND NOT folder IN_LIST wanted)
      file(REMOVE ${entry})
    endif()
  endforeach()
  foreach(folder ${wanted})
    if(NOT IS_SYMLINK ${view}/${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
  endforeach()
  set(${out} ${view} PARENT_SCOPE)
endfunction()

# Compiles a layer's target against its view only; what links it gets no
# include folder from it (tools and tests name the top of the tree).
function(fulgora_layer_target name)
  get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  fulgora_include_view(${layer} view)
  target_include_directories(${name} PRIVATE ${view})
endfunction()

# A static library of one layer.
function(fulgora_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS;SYSLIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  fulgora_layer_target(${name})
  target_link_libraries(${name} PUBLIC ${L_DEPS} ${L_SYSLIBS})
  fulgora_target_options(${name})
endfunction()

if(MINGW)
  # The player must not need the MinGW runtime DLLs.
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
  # The static runtime brings its debug sections: a released DLL is a third
  # of the size without them.
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_RELEASE " -s")
endif()
