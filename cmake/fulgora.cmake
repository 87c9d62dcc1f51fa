# Warning flags shared by every target of the project.
function(fulgora_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual
    -Woverloaded-virtual -Wformat=2 -Wundef)
  if(FULGORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A static library of one layer, with its public include root at the top.
function(fulgora_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS;SYSLIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
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
