# Helpers shared by every folder's CMakeLists.
#
# vd_library(NAME [DEPS ...]): one static library from the .cpp files of the calling folder
# (not its tests/ or ui/ subfolders). Headers are included from the repository root, as
# "platform/os/files.h".
#
# vd_tests(NAME [DEPS ...]): test programs from the folder's tests/ subfolder. A test file's
# label is taken from its name: *_gui_test.cpp -> gui, *_net_test.cpp -> net,
# *_peer_test.cpp -> peer, *_slow_test.cpp -> slow (long runs such as killing child processes
# during saves; left out of the sanitizer run), any other *_test.cpp -> unit. One program is
# built per label; the gui programs get a main that creates the Qt application on the offscreen
# platform.

function(vd_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # A folder whose first source has not come yet still gives its dependants a target.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

function(vd_tests name)
  if(NOT VD_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp")
  foreach(label unit gui net peer slow)
    set(files "")
    foreach(f IN LISTS all)
      get_filename_component(base "${f}" NAME)
      if(base MATCHES "_(gui|net|peer|slow)_test\\.cpp$")
        set(l "${CMAKE_MATCH_1}")
      else()
        set(l unit)
      endif()
      if(l STREQUAL label)
        list(APPEND files "${f}")
      endif()
    endforeach()
    if(files)
      set(exe "${name}_${label}_tests")
      add_executable(${exe} ${files})
      if(label STREQUAL "gui")
        set(main vd_gui_test_main)
      else()
        set(main GTest::gtest_main)
      endif()
      target_link_libraries(${exe} PRIVATE ${name} ${ARG_DEPS} vd_test_support GTest::gtest GTest::gmock ${main})
      gtest_discover_tests(${exe}
        PROPERTIES LABELS ${label} ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        DISCOVERY_TIMEOUT 60
        TEST_PREFIX "${name}.")
    endif()
  endforeach()
endfunction()
