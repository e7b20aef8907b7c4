# Hosts call the libraries on threads of their own, some with small stacks
# they allocate themselves (no guard page). Every compiled target under the
# given folders is built with stack probes, so that no frame can step over a
# guard page unnoticed, and, where frames are not widened by sanitizers or
# -O0, no function may need more than 16 KB of stack: large scratch belongs
# in the libraries' workspaces. The call graphs written beside the objects
# let the test stack_chains bound each export's deepest call chain by the
# same limit; tests/exports/test_export_stack measures the exports on a
# small stack.
set(BELNOR_STACK_LIMIT 16384)
# The frame limit and the call graphs hold in optimised gcc builds without
# sanitizers.
set(BELNOR_STACK_GRAPHS OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT BELNOR_SANITIZE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(BELNOR_STACK_GRAPHS ON)
endif()

function(belnor_stack_limits)
  foreach(dir ${ARGN})
    get_filename_component(dir ${dir} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    if(NOT EXISTS ${dir}/CMakeLists.txt)
      continue()  # a folder not built yet
    endif()
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(NOT type MATCHES "^(STATIC|SHARED|OBJECT)_LIBRARY$")
        continue()
      endif()
      target_compile_options(${target} PRIVATE -fstack-clash-protection)
      if(BELNOR_STACK_GRAPHS)
        target_compile_options(${target} PRIVATE -Werror=stack-usage=${BELNOR_STACK_LIMIT} -fcallgraph-info=su)
      endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    if(subdirs)
      belnor_stack_limits(${subdirs})
    endif()
  endforeach()
endfunction()
